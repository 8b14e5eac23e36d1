// placeholder until the window is driven through the core's shell
#include <gtest/gtest.h>
