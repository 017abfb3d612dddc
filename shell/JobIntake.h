#pragma once

#include "TakenJobs.h"

#include <QString>
#include <cstdint>

namespace vellora {

class TJobInformation;

// The rules of the print-job intake, apart from the window that acts on them: which report is
// a job to take in, whether it is a PDF document, and the guard that takes each job once. The
// guard's state is the main window's (`FirstJob`, `LastJobId`, the jobs taken): one copy for
// the whole program, which these rules read and update.
class TJobIntake
{
public:
    struct Decision
    {
        // A completed job of this user on the printer "vellora": PdfMode follows its name.
        bool ours = false;
        // Its document name contains ".pdf", in any letter case.
        bool pdf = false;
        // Not taken before: the window takes it in; the guard has recorded it as taken.
        bool take = false;
    };

    TJobIntake(QString user, bool& firstJob, std::uint32_t& lastJobId, TakenJobs& taken)
        : m_user(std::move(user)), FirstJob(firstJob), LastJobId(lastJobId), TakenJobIds(taken)
    {}

    // No job taken yet, as at the start of the program.
    void Reset();
    Decision Consider(const TJobInformation& aJobinformation);

private:
    QString m_user;
    bool& FirstJob;
    std::uint32_t& LastJobId;
    TakenJobs& TakenJobIds;
};

} // namespace vellora
