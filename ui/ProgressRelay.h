#pragma once

#include <QObject>

#include "engine/log/Sinks.h"

class QProgressBar;

namespace quernfold {

/** The progress bar as the engine's progress: calls from the run's worker thread reach the bar as queued signals. */
class ProgressRelay final : public QObject, public ProgressSink {
    Q_OBJECT

public:
    explicit ProgressRelay(QProgressBar* bar, QObject* parent = nullptr);

    void SetRange(long long minimum, long long maximum) override;
    void SetVisible(bool visible) override;
    void SetValue(long long value) override;

signals:
    void RangeRequested(int minimum, int maximum);
    void VisibleRequested(bool visible);
    void ValueRequested(int value);
};

}  // namespace quernfold
