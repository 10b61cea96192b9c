#include <cstdio>

int main() {
    std::puts("kdx2");
    return 0;
}
