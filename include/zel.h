/* The whole exported interface of libzel. */
#ifndef ZEL_H
#define ZEL_H

#include "zel/core.h"
#include "zel/ffi.h"
#include "zel/strings.h"
#include "zel/collections.h"
#include "zel/json.h"
#include "zel/system.h"
#include "zel/concurrency.h"
#include "zel/async.h"

#endif
