// The choice among a table's fast paths (cpu/dispatch.h), as the stand-in
// names it. Only the plain files that make the choice include it.
#ifndef STANDIN_DISPATCH_H
#define STANDIN_DISPATCH_H

#include "cpu.h"
#include "cpu/dispatch.h"

namespace standin {

using fastpath::Dispatch;
using fastpath::Variant;

}  // namespace standin

#endif  // STANDIN_DISPATCH_H
