// Takes the place of the user's web browser in the test of "On the Web...": the test registers it
// as this user's https handler, and it writes the address it was given to the file named first.
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3)
        return 1;
    FILE* out = std::fopen(argv[1], "wb");
    if (!out)
        return 1;
    std::fputs(argv[2], out);
    return std::fclose(out) == 0 ? 0 : 1;
}
