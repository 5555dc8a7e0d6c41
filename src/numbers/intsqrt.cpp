#include "numbers/numbers.h"
