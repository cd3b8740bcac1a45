// The settings of the process-level crash and full-disk tests, switched on by variables in the
// environment of the process that loads the engine. Only the tests' own build of the engine
// (cairn-crashtest.dll) has them: a user's engine never ends or slows its process because of its
// environment.
#pragma once

namespace cairn {

// With CAIRN_TEST_STOP_AFTER=n the process ends abruptly before the n-th change to an archive,
// as if it had been killed there. With CAIRN_TEST_FAIL_GROWTH=n the engine's files go through a
// fault-injecting platform layer whose n-th growth of a file fails as on a full disk, and so does
// every later one; archives then grow by exactly each allocation, so that every growth of one
// reaches the disk. The first refusal is noted on standard error, so that a test knows the
// operation went that far. With CAIRN_TEST_FAIL_FLUSH=n the n-th flush of a file through that
// layer fails as on a failing disk. Called once, when the engine loads.
void InstallTestHooks();

}  // namespace cairn
