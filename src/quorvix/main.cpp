#include "quorvix/quorvix_main.h"

int main(int argc, char** argv) {
    return mervok::quorvix::RunQuorvix(argc, argv);
}
