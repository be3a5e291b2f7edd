// The engine's string table: the engine number (id 2), the installation's
// folder (4) and key (102), and message texts by id (2001 to 2098 for
// errors, 4001 to 4013 for warnings and notices), printf formats.
#pragma once

#include <cstdint>

// The text of a message id, or null when the table has none.
const char* EngineMessageText(int32_t id);
