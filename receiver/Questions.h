#pragma once
// The questions the dialogue asks the user. A window implements it with its message boxes.
// Texts are UTF-8. UI thread only.

#include "receiver/MsgIcon.h"

#include <string>

class TQuestions {
public:
    virtual ~TQuestions() = default;

    // A modal box with Yes and No and the given default; true only for Yes.
    virtual bool AskYesNo(const std::string& caption, const std::string& text, TMsgIcon icon,
                          TMsgDefault preset) = 0;
};
