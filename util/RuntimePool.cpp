#include "RuntimePool.h"

namespace __gnu_cxx {
// The runtime's own way to free what it keeps for the life of the process.
void __freeres() throw();
} // namespace __gnu_cxx

void RuntimePool::ReleaseOnUnload(LPVOID reserved) {
    if (!reserved) {
        __gnu_cxx::__freeres();
    }
}
