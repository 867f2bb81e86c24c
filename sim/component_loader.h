// The registry reader and module loader are part of the installed contract.
#pragma once

#include "corvane/loader.h"
