// The library's dynamic symbol table holds exactly one definition.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

TEST(Exports, OnlyTheFactoryEntryIsDefined) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer build links the runtime dynamically and exports its hooks";
#endif
    const std::string cmd = std::string("nm -D --defined-only '") + ZDSP_SEM_PATH + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::vector<std::string> names;
    char line[1024];
    while (fgets(line, sizeof line, p) != nullptr) {
        std::string s(line);
        const size_t space = s.find_last_of(' ');
        names.push_back(s.substr(space + 1, s.find_last_not_of("\r\n") - space));
    }
    const int status = pclose(p);
    if (status != 0) GTEST_SKIP() << "nm is not available";
    ASSERT_EQ(names.size(), 1u) << names.size() << " symbols, e.g. " << names.back();
    EXPECT_EQ(names[0], "MP_GetFactory");
}

}  // namespace
