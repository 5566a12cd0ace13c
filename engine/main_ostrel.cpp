#include "engine/entry.h"

int main(int argc, char** argv) { return ostrel_main(argc, argv, "Win32"); }
