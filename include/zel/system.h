/* system family: declarations arrive with the operations they describe. */
#ifndef ZEL_SYSTEM_H
#define ZEL_SYSTEM_H

#include "core.h"

#endif
