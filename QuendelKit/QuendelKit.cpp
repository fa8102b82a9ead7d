#include "QuendelKit/QuendelKit.h"
