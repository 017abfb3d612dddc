#include "JobIntake.h"

#include "JobInformation.h"

namespace vellora {

void TJobIntake::Reset()
{
    LastJobId = 0xFFFFFFFFu;
    FirstJob = true;
    TakenJobIds = TakenJobs();
}

TJobIntake::Decision TJobIntake::Consider(const TJobInformation& aJobinformation)
{
    Decision decision;
    const QString status = JobStatusName(aJobinformation.Status).toLower();
    if (aJobinformation.PrinterName.toLower() != QLatin1String("vellora"))
        return decision;
    if (status != QLatin1String("jscompleted"))
        return decision;
    // Another user's printout never opens in this window.
    if (aJobinformation.UserName != m_user)
        return decision;
    decision.ours = true;
    decision.pdf = aJobinformation.DocumentName.toLower().contains(QLatin1String(".pdf"));

    // Each job is taken once, also when an earlier job is reported again later.
    if (!FirstJob && TakenJobIds.contains(aJobinformation.JobId, aJobinformation.JobKey))
        return decision;
    FirstJob = false;
    LastJobId = aJobinformation.JobId;
    TakenJobIds.remember(aJobinformation.JobId, aJobinformation.JobKey);
    decision.take = true;
    return decision;
}

} // namespace vellora
