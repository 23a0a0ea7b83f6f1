/* async family: declarations arrive with the operations they describe. */
#ifndef ZEL_ASYNC_H
#define ZEL_ASYNC_H

#include "core.h"

#endif
