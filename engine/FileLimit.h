#pragma once

namespace dovrane {

/// Raises the open-file limit to the most the system allows this process, so that
/// connections to the status port cannot use up what the alarm road needs. Quiet
/// when it cannot: the limit stays as it was.
void raiseOpenFileLimit();

} // namespace dovrane
