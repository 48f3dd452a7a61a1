#include "app/CtarnwickApp.h"

int main() {
    theApp.InitInstance();
    return 0;
}
