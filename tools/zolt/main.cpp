// zolt: the command-line tool over ZOLT image files.
#include <cstdio>

int main() {
    std::puts("usage: zolt info FILE...");
    return 2;
}
