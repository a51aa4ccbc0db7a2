// The window's checks in the history: what each asked, and where a history
// that cannot be kept is reported.
#include "app/view_form.h"

#include <QDateTime>
#include <QListWidget>

#include <cstdio>

history::CheckAsked TViewForm::checkAsked() const
{
    const check::CheckProtocol* protocol = &checkEngine_->protocol();
    const char* name = protocol == &ntsProtocol_ ? "nts" : protocol == &ntpProtocol_ ? "ntp" : "rfc868";
    return {QDateTime::currentMSecsSinceEpoch(), checkEngine_->host(), checkEngine_->addressAsked(), name};
}

// An unnumbered line in the log, as other problems outside a check, and on
// stderr for a window nobody looks at.
void TViewForm::reportHistoryProblem(const std::string& problem)
{
    ListBox1->addItem(QString::fromStdString(">" + problem));
    ListBox1->setCurrentRow(ListBox1->count() - 1);
    std::fprintf(stderr, "tikora: %s\n", problem.c_str());
}
