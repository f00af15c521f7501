#pragma once
// The headers nearly every test includes, compiled once per build tree and
// reused by every test target (quillon_add_test): GoogleTest alone is a
// large part of each test file's compile time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>
