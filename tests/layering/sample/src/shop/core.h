#pragma once

#include "link/link.h"
