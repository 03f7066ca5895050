#include "common/serialization/buffererror.h"

const char* const TXT_OUT_OF_BUFFER = "Out of buffer!";
const char* const TXT_OBJECT_NOT_VALID = "Object not valid.";
