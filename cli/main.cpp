#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 ||
      std::strcmp(argv[1], "demo") == 0) {
    std::puts("marl-checkout: period-end closing tool\nusage: marl-checkout COMMAND [OPTIONS]");
    return 0;
  }
  std::fprintf(stderr, "unknown command: %s\n", argv[1]);
  return 2;
}
