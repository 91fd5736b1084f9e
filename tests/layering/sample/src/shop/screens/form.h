#pragma once

#include "shop/core.h"
#include "ui/look.h"
