/* Suite access: the host hands the effect one SPBasicSuite through
 * in_data->pica_basicP; every other suite is acquired from it by name and
 * version. */
#ifndef SPBASIC_H
#define SPBASIC_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t SPErr;
typedef uint8_t SPBoolean;

#define kSPNoError 0
/* Answered by AcquireSuite for a suite the host does not offer. */
#define kSPSuiteNotFoundError 0x53214e46 /* 'S!NF' */

#define SPAPI

typedef struct SPBasicSuite
{
    SPAPI SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    SPAPI SPErr (*ReleaseSuite)(const char* name, int32_t version);
    SPAPI SPBoolean (*IsEqual)(const char* token1, const char* token2);
    SPAPI SPErr (*AllocateBlock)(size_t size, void** block);
    SPAPI SPErr (*FreeBlock)(void* block);
    SPAPI SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newblock);
    SPAPI SPErr (*Undefined)(void);
} SPBasicSuite;

#ifdef __cplusplus
}
#endif

#endif
