#include "task/driver.h"

int main(int argc, char** argv) { return wavsplice::RunWavsplice(argc, argv); }
