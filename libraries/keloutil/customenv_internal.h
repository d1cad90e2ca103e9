/* SPDX-License-Identifier: MIT */
// Internal to the library: what the test builds need of the custom
// environment beyond its public interface.
#ifndef KELOUTIL_CUSTOMENV_INTERNAL_H
#define KELOUTIL_CUSTOMENV_INTERNAL_H

namespace keloutil {

#ifdef KELOUTIL_FAULT_INJECTION
// Only in the test builds of the library: puts the one instance back in its
// state at load (no load attempted, nothing parsed), so that the next
// request reads the environment variables and the file again.
void reset_custom_environment();
#endif

} // namespace keloutil

#endif // KELOUTIL_CUSTOMENV_INTERNAL_H
