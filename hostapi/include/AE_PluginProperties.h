/* The effect's property list. On this platform a module exports it as a data
 * symbol named PF_PROPERTY_LIST_SYMBOL; the host reads it before the first
 * command to learn the effect's name, its entry point and its global flags. */
#ifndef AE_PLUGIN_PROPERTIES_H
#define AE_PLUGIN_PROPERTIES_H

#include "AE_Effect.h"

#ifdef __cplusplus
extern "C" {
#endif

#define PF_PROPERTY_LIST_SYMBOL "PluginPropertyList"

#define PF_FOURCC(a, b, c, d)                                                                      \
    ((A_u_long)(((A_u_long)(a) << 24) | ((A_u_long)(b) << 16) | ((A_u_long)(c) << 8) |             \
                (A_u_long)(d)))

/* Property keys, in the order a module lists them. */
#define PF_PROP_KIND PF_FOURCC('k', 'i', 'n', 'd')             /* 'eFKT' for an effect */
#define PF_PROP_NAME PF_FOURCC('n', 'a', 'm', 'e')             /* display name */
#define PF_PROP_CATEGORY PF_FOURCC('c', 'a', 't', 'g')         /* effect category */
#define PF_PROP_ENTRY_POINT PF_FOURCC('8', '6', '6', '4')      /* entry point symbol */
#define PF_PROP_PF_VERSION PF_FOURCC('e', 'P', 'V', 'R')       /* effect API version */
#define PF_PROP_SPEC_VERSION PF_FOURCC('e', 'S', 'V', 'R')     /* major << 16 | minor */
#define PF_PROP_EFFECT_VERSION PF_FOURCC('e', 'V', 'E', 'R')   /* PF_VERSION packing */
#define PF_PROP_INFO_FLAGS PF_FOURCC('e', 'I', 'N', 'F')
#define PF_PROP_GLOBAL_FLAGS PF_FOURCC('e', 'G', 'L', 'O')     /* expected out_flags */
#define PF_PROP_GLOBAL_FLAGS2 PF_FOURCC('e', 'G', 'L', '2')    /* expected out_flags2 */
#define PF_PROP_MATCH_NAME PF_FOURCC('e', 'M', 'N', 'A')
#define PF_PROP_AE_RESERVED PF_FOURCC('a', 'e', 'F', 'L')

#define PF_EFFECT_KIND PF_FOURCC('e', 'F', 'K', 'T')
#define PF_VENDOR_ADOBE PF_FOURCC('8', 'B', 'I', 'M')

typedef A_long PF_PropertyValueKind;
enum
{
    PF_PropertyValue_LONG = 0,   /* long_value */
    PF_PropertyValue_STRING = 1  /* string_value */
};

typedef struct
{
    A_u_long vendor;
    A_u_long key;
    PF_PropertyValueKind kind;
    A_long long_value;
    const char* string_value;
} PF_Property;

typedef struct
{
    A_long resource_id;
    A_long list_version;
    A_long count;
    const PF_Property* properties;
} PF_PropertyList;

#ifdef __cplusplus
}
#endif

#endif
