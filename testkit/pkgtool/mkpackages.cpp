// qxmkpackages: builds resource packages from a small description (the
// format is in packages.h).
//
//   qxmkpackages DESCRIPTION OUTDIR
#include "packages.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: qxmkpackages DESCRIPTION OUTDIR\n");
        return 2;
    }
    return BuildPackages(argv[1], argv[2], true) ? 0 : 1;
}
