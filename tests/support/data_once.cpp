#include "support/data_once.h"

#include <mutex>

#include "toplevel/datafiles.h"

void load_data_once() {
    static std::once_flag once;
    std::call_once(once, [] { initialize(TARVEX_TEST_DATA_DIR); });
}
