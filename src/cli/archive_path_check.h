// The check of a path inside the archive given on the command line.
#pragma once

#include <CLI/CLI.hpp>

// Refuses a path inside the archive that names no entry a user may mean (empty, from a root,
// with a "." or ".." part) as a usage error.
CLI::Validator ArchivePathCheck();
