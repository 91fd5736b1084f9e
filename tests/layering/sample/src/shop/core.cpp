#include "core.h"

#include "link/link.h"
#include "shop/screens/form.h"
