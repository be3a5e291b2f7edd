#include "support/TestObjects.h"

int qemtest::CountingObject::s_destroyed = 0;
