// The product version of Corvane, one number for the module, the headers, the
// command-line tool and the packages. It is separate from the type library's
// identity (version 1.0), which hosts bind to and which does not change.
//
// The build reads these lines; CorvaneGetContract() answers the version of the
// module actually loaded.
#pragma once

#define CORVANE_VERSION_MAJOR 2
#define CORVANE_VERSION_MINOR 0
#define CORVANE_VERSION_PATCH 0
#define CORVANE_VERSION "2.0.0"
