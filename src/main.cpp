// The penvex executable.
#include "app/run.hpp"

int main(int argc, char** argv) {
    return ZELK::entryPoint(argc, argv);
}
