#include "net/hive.h"
