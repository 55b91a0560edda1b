#include "entry.h"

int main(int argc, char** argv) {
    return korvel::run(argc, argv);
}
