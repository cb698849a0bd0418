#include "app/HalcyraEntry.h"
#include "core/Logging.h"

int main(int argc, char* argv[]) {
    Logging::install();
    return HalcyraEntry::main(argc, argv);
}
