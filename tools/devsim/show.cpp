#include "show.h"
#include <cstdio>
namespace devsim {
int Show(const std::string& out_dir) {
  std::printf("%s\n", out_dir.c_str());
  return 0;
}
}  // namespace devsim
