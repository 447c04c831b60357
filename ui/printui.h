// The printer interface's one view of the platform: the spooler's and the
// common property sheet's records, constants and services. The real DLL
// takes them from the platform's headers (Unicode build); every other build
// takes the host declarations beside this file.
#pragma once

#include "engine/engine.h"

#if defined(TEXTRELAY_WINDDI)
#include <winspool.h>
#include <compstui.h>
#include <winddiui.h>
#include <winddiui_more.h>
#else
#include "ui/host_printui.h"
#endif

// The 32-bit layout the spooler hands over, checked on every build where it
// applies.
#if defined(__i386__)
static_assert(sizeof(DOCUMENTPROPERTYHEADER) == 28, "");
static_assert(sizeof(DEVICEPROPERTYHEADER) == 12, "");
static_assert(sizeof(DEVQUERYPRINT_INFO) == 24, "");
static_assert(sizeof(PROPSHEETUI_INFO) == 28, "");
static_assert(sizeof(PROPSHEETUI_INFO_HEADER) == 20, "");
static_assert(sizeof(SETRESULT_INFO) == 12, "");
static_assert(sizeof(COMPROPSHEETUI) == 64, "");
static_assert(sizeof(OPTITEM) == 52, "");
static_assert(sizeof(OPTTYPE) == 32, "");
static_assert(sizeof(OPTPARAM) == 24, "");
static_assert(sizeof(CPSUICBPARAM) == 32, "");
#endif
