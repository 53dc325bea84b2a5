#pragma once
// All the receiver dialogue reaches of the window around it, gathered: the page views, the
// options, the port, the questions and the run's timers, each a small interface of its own so
// that every window implements obvious pieces. The main window implements it; tests record
// what the dialogue does with it. UI thread only.

#include "DialogueOptions.h"
#include "PageViews.h"
#include "Questions.h"
#include "ReceiverPort.h"
#include "RunTimers.h"

class TDialogueWindow : public TPageViews,
                        public TDialogueOptions,
                        public TReceiverPort,
                        public TQuestions,
                        public TRunTimers {};
