// Must not compile: the update job knows no window; the widgets' layer is not in its sight.
#include "toolkit/Form.h"
