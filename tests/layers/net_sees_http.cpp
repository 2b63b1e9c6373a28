// Must not compile: the transport sits below the HTTP client and cannot see its headers.
#include "http/NetHTTP.h"
