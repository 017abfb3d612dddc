#pragma once

#include <QtGlobal>

namespace vellora {

// The implementation of a seam (the prompts, the desktop) that the whole program uses: main()
// installs the real one, a test installs its fake. Whoever installs it keeps it alive.
template <typename Seam> class Installed
{
public:
    static Seam& get()
    {
        Q_ASSERT_X(s_current, "vellora::Installed", "no implementation installed");
        return *s_current;
    }
    static void set(Seam* implementation) { s_current = implementation; }

private:
    static inline Seam* s_current = nullptr;
};

} // namespace vellora
