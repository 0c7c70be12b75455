/* Custom UI events: PF_Cmd_EVENT's extra argument. */
#ifndef AE_EFFECT_UI_H
#define AE_EFFECT_UI_H

#include "AE_Effect.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef A_long PF_EventType;
enum
{
    PF_Event_NONE = -1,
    PF_Event_NEW_CONTEXT = 0,
    PF_Event_ACTIVATE = 1,
    PF_Event_DO_CLICK = 2,
    PF_Event_DRAG = 3,
    PF_Event_DRAW = 4,
    PF_Event_DEACTIVATE = 5,
    PF_Event_CLOSE_CONTEXT = 6,
    PF_Event_IDLE = 7,
    PF_Event_KEYDOWN_OBSOLETE = 8,
    PF_Event_ADJUST_CURSOR = 9,
    PF_Event_KEYDOWN = 10,
    PF_Event_MOUSE_EXITED = 11,
    PF_Event_NUM_EVENTS = 12
};

typedef A_long PF_EffectArea;
enum
{
    PF_EA_NONE = 0,
    PF_EA_PARAM_TITLE = 1,
    PF_EA_CONTROL = 2
};

typedef A_long PF_WindowType;
enum
{
    PF_Window_NONE = -1,
    PF_Window_COMP = 0,
    PF_Window_LAYER = 1,
    PF_Window_EFFECT = 2
};

enum
{
    PF_EO_NONE = 0,
    PF_EO_HANDLED_EVENT = 1L << 0,
    PF_EO_ALWAYS_UPDATE = 1L << 1,
    PF_EO_NEVER_UPDATE = 1L << 2,
    PF_EO_UPDATE_NOW = 1L << 3
};

/* The drawing context of one event: opaque to the effect, which reaches it
 * through the custom UI suite. */
typedef struct _PF_Context
{
    A_u_long magic;
    PF_WindowType w_type;
    A_long reserved_flt;
    void* reserved_host; /* host private */
}* PF_ContextH;

typedef struct
{
    A_u_long when;
    A_u_long modifiers;
    PF_Point screen_point;
    A_long num_clicks;
    PF_Boolean double_click;
    PF_Boolean last_time;
    PF_Boolean send_drag;
    PF_Boolean continue_refcon_flag;
} PF_DoClickEventInfo;

typedef struct
{
    PF_Rect update_rect;
    A_long depth;
} PF_DrawEventInfo;

typedef struct
{
    A_u_long when;
    A_u_long modifiers;
    A_long key_code;
    PF_Point screen_point;
} PF_KeyDownEvent;

typedef struct
{
    A_u_long when;
    A_u_long modifiers;
    PF_Point screen_point;
    A_long set_cursor;
} PF_AdjustCursorEventInfo;

typedef union
{
    PF_DoClickEventInfo do_click;
    PF_DrawEventInfo draw;
    PF_KeyDownEvent key_down;
    PF_AdjustCursorEventInfo adjust_cursor;
} PF_EventUnion;

typedef struct
{
    PF_ParamIndex index;
    PF_EffectArea area;
    PF_UnionableRect current_frame;
    PF_UnionableRect param_title_frame;
    A_long horiz_offset;
} PF_EffectWindowInfo;

typedef struct
{
    PF_ContextH contextH;
    PF_EventType e_type;
    PF_EventUnion u;
    PF_EffectWindowInfo effect_win;
    A_long evt_in_flags;
    A_long evt_out_flags;
} PF_EventExtra;

#ifdef __cplusplus
}
#endif

#endif
