#pragma once
// The icon of a message box.

enum class TMsgIcon { Warning, Question, Error, Information };
