#pragma once
// Read as text by the layer-check test, never compiled: a header of core/images that reaches
// up into the command line.
#include "core/common/file_io.h"
#include "core/cli/commands.h"
