// layering_check ROOT: prints every include that breaks the source tree's floors; exit status 1
// when there is any.
#include "tests/layering/layering_rules.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: layering_check SOURCE_ROOT\n");
        return 2;
    }
    const auto violations = layering::Check(argv[1]);
    for (const auto& violation : violations)
        std::printf("%s\n", layering::Describe(violation).c_str());
    std::printf("%zu layering violation(s)\n", violations.size());
    return violations.empty() ? 0 : 1;
}
