#pragma once
// The icon of a message box.

enum class TMsgIcon { Warning, Question, Error, Information };

// The answer of a Yes/No box that Enter (and a slip of the hand) gives. No is the default where
// going on could harm the receiver and the person should have to choose it.
enum class TMsgDefault { Yes, No };
