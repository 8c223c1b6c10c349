// A Result or an Error that is dropped does not compile. In the test program
// this file only proves that Error.h stands alone; tests/CMakeLists.txt
// compiles it again once per OSTREL_DROP_* case, and each passes only when
// the compiler refuses the dropped value.
#include "platform/Error.h"

#if defined(OSTREL_DROP_VALUE) || defined(OSTREL_DROP_STATUS) || defined(OSTREL_DROP_ERROR)
namespace {

platform::Result<int> number()
{
    return 1;
}

platform::Result<void> saved()
{
    return platform::Error::posix(EIO);
}

} // namespace

void dropped()
{
#if defined(OSTREL_DROP_VALUE)
    number();
#elif defined(OSTREL_DROP_STATUS)
    saved();
#else
    platform::Error::posix(EIO);
#endif
}
#endif
