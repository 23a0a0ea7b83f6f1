/* concurrency family: declarations arrive with the operations they describe. */
#ifndef ZEL_CONCURRENCY_H
#define ZEL_CONCURRENCY_H

#include "core.h"

#endif
