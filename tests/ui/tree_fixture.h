// The small archive tree the contents tree's tests open.
#pragma once

#include <string>

#include "helpers/archive_writer.h"
#include "helpers/temp_dir.h"

inline TestFile File(const std::string& name, const std::string& content) { return {name, Bytes(content)}; }

// alpha\y.txt, alpha\sub\z.txt, beta\x.txt, top.txt
inline TestFolder SmallTree() {
    return TestFolder{"",
                      {{"alpha", {{"sub", {}, {File("z.txt", "zed")}}}, {File("y.txt", "why")}},
                       {"beta", {}, {File("x.txt", "ex")}}},
                      {File("top.txt", "top")}};
}
