// The run state of the test page that both the connection handling and
// the test sequence read and reset: the step, the run flags and the texts
// on the page.
#pragma once

#include <QString>

namespace lumora::tester {

struct RunState {
    int step = 0;               // 0 idle, then as the test sequence advances
    bool busy = false;          // PCB T1 / PCB T2 accepted; both ignored while set
    bool runInProgress = false;
    bool runFinished = false;   // a result file was written or the run was refused
    int verdict = 0;            // 1 pass, 0 fail
    int countdown = 0;          // AutoRun seconds left; -1 once it has fired
    QString runLog;             // the large log box
    QString statusLine;         // the one-line box at the bottom
    QString t1Detail;           // detail lines of the first stage (result file)
    QString t2Detail;           // detail lines of the second stage
};

}  // namespace lumora::tester
