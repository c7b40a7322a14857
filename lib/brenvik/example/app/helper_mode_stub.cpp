// Stand-in for the apply-helper run in builds without the progress window.
#include "app/helper_mode.h"

namespace example {

int runHelperMode(void*, int) {
    return 1;
}

}  // namespace example
