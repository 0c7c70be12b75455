/* The PF suites an effect acquires through SPBasicSuite. */
#ifndef AE_EFFECT_SUITES_H
#define AE_EFFECT_SUITES_H

#include "AE_Effect.h"
#include "AE_EffectUI.h"
#include "DrawbotSuites.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------- handles */
#define kPFHandleSuite "PF Handle Suite"
#define kPFHandleSuiteVersion2 2

typedef struct PF_HandleSuite2
{
    SPAPI PF_Handle (*host_new_handle)(A_HandleSize size);
    SPAPI void* (*host_lock_handle)(PF_Handle pf_handle);
    SPAPI void (*host_unlock_handle)(PF_Handle pf_handle);
    SPAPI void (*host_dispose_handle)(PF_Handle pf_handle);
    SPAPI A_HandleSize (*host_get_handle_size)(PF_Handle pf_handle);
    SPAPI PF_Err (*host_resize_handle)(A_HandleSize new_sizeL, PF_Handle* handlePH);
} PF_HandleSuite2;

/* ------------------------------------------------------- param utils */
#define kPFParamUtilsSuite "PF Param Utils Suite"
#define kPFParamUtilsSuiteVersion2 2

typedef struct PF_ParamUtilsSuite2
{
    /* Sends a changed definition (name, ui_flags, ...) of a parameter to the
     * host's UI. The host copies what it needs. */
    SPAPI PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                                     const PF_ParamDef* defP);
    void* reserved[6];
} PF_ParamUtilsSuite2;

/* ---------------------------------------------------------- app */
#define kPFAppSuite "PF AE App Suite"
#define kPFAppSuiteVersion6 6

typedef A_long PF_App_ColorType;
enum
{
    PF_App_Color_NONE = -1,
    PF_App_Color_FRAME = 0,
    PF_App_Color_FILL = 1,
    PF_App_Color_TEXT = 2,
    PF_App_Color_LIGHT_TINGE = 3,
    PF_App_Color_DARK_TINGE = 4,
    PF_App_Color_HILITE = 5,
    PF_App_Color_SHADOW = 6,
    PF_App_Color_BUTTON_FRAME = 7,
    PF_App_Color_BUTTON_FILL = 8,
    PF_App_Color_BUTTON_TEXT = 9,
    PF_App_Color_PANEL_BACKGROUND = 10,
    PF_App_Color_NUMTYPES = 11
};

typedef struct
{
    A_u_short red, green, blue;
} PF_App_Color;

typedef struct PFAppSuite6
{
    SPAPI PF_Err (*PF_AppGetBgColor)(PF_App_Color* bg_colorP);
    SPAPI PF_Err (*PF_AppGetColor)(PF_App_ColorType color_type, PF_App_Color* app_colorP);
    SPAPI PF_Err (*PF_AppGetLanguage)(A_char lang_tagZ[4]);
    void* reserved[8];
} PFAppSuite6;

/* ------------------------------------------------- effect custom UI */
#define kPFEffectCustomUISuite "PF Effect Custom UI Suite"
#define kPFEffectCustomUISuiteVersion1 1

typedef struct PF_EffectCustomUISuite1
{
    SPAPI PF_Err (*PF_GetDrawingReference)(const PF_ContextH effect_contextH,
                                           DRAWBOT_DrawRef* referenceP0);
} PF_EffectCustomUISuite1;

#ifdef __cplusplus
}
#endif

#endif
