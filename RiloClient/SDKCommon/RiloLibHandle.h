#ifndef RILO_RILOLIBCHECK_H
#define RILO_RILOLIBCHECK_H

#include "CLibModule.h"
#include "Common.h"

// The exported functions' handle check.
namespace rilolib {

inline CLibModule* Module(void* handle)
{
    return static_cast<CLibModule*>(handle);
}

// A bad handle or argument: the library's message on the given stream, -1.
inline int BadHandle(DiagStream stream)
{
    DiagPrint(stream, "Vorn Lib: Error of parameter!\n");
    return -1;
}

} // namespace rilolib

#endif
