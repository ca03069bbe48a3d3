#include "driver/kemVURODerodu.h"

int main(int argc, char** argv) { return weblogMain(argc, argv); }
