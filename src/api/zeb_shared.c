/* The shared library's own translation unit: everything else comes from the
 * zeb_core archive, linked whole. Including the public header here lets the
 * compiler check the declarations once more in plain C. */
#include "zeb.h"
