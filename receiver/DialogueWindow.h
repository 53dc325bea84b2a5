#pragma once
// All the receiver dialogue reaches of the window around it, gathered: the page views, the
// options, the port, the questions and the run's timers, each a small interface of its own so
// that every window implements obvious pieces. The main window implements it; tests record
// what the dialogue does with it. UI thread only.

#include "receiver/DialogueOptions.h"
#include "receiver/PageViews.h"
#include "receiver/Questions.h"
#include "receiver/ReceiverPort.h"
#include "receiver/RunTimers.h"

class TDialogueWindow : public TPageViews,
                        public TDialogueOptions,
                        public TReceiverPort,
                        public TQuestions,
                        public TRunTimers {};
