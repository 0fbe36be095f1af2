#include "tdkit/ui/descdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "tdkit/ui/helptopic.h"

namespace {

const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

QString MonthName(int month) {
    return QLocale::c().monthName(month < 1 || month > 12 ? 1 : month, QLocale::LongFormat);
}

// Local midnight of a date as a time value, and back.
LPARAM DateToTime(const QDate& d) {
    return static_cast<LPARAM>(d.startOfDay().toSecsSinceEpoch());
}
QDate TimeToDate(LPARAM t) {
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(t)).date();
}

// The base of the panels: a popup below the control that reports one choice to it and
// closes; a click outside closes it without a choice (the popup's own behaviour).
class Panel : public QWidget {
public:
    Panel(CComboCalendar* owner) : QWidget(owner, Qt::Popup), owner_(owner) {
        setAttribute(Qt::WA_DeleteOnClose);
    }
    void ShowBelow() {
        adjustSize();
        move(owner_->mapToGlobal(QPoint(0, owner_->height())));
        show();
    }

protected:
    void Report(UINT message, LPARAM value) {
        SendMessage(owner_, message, 0, value);
        close();
    }
    CComboCalendar* owner_;
};

// Once and Yearly: a month (and, for Once, a year) above a grid of days.
class MonthPanel : public Panel {
public:
    MonthPanel(CComboCalendar* owner, bool withYear, QDate start) : Panel(owner), year_(withYear) {
        month_ = start.month();
        yearValue_ = ClampOnceYear(start.year());
        auto* top = new QHBoxLayout;
        auto* down = new QToolButton;
        down->setArrowType(Qt::LeftArrow);
        auto* up = new QToolButton;
        up->setArrowType(Qt::RightArrow);
        monthLabel_ = new QLabel;
        monthLabel_->setAlignment(Qt::AlignCenter);
        monthLabel_->setMinimumWidth(90);
        top->addWidget(down);
        top->addWidget(monthLabel_, 1);
        top->addWidget(up);
        QObject::connect(down, &QToolButton::clicked, this, [this] { StepMonth(-1); });
        QObject::connect(up, &QToolButton::clicked, this, [this] { StepMonth(1); });
        if (withYear) {
            yearSpin_ = new QSpinBox;
            yearSpin_->setRange(kOnceYearFirst, kOnceYearLast);
            yearSpin_->setValue(yearValue_);
            top->addWidget(yearSpin_);
            QObject::connect(yearSpin_, &QSpinBox::valueChanged, this, [this](int y) {
                yearValue_ = y;
                update();
            });
        }
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(4, 4, 4, 4);
        layout->addLayout(top);
        layout->addStretch(1);
        setFixedSize(7 * kCell + 8, 40 + 7 * kRow + 8);
        Refresh();
    }
    int Year() const { return year_ ? yearValue_ : QDate::currentDate().year(); }

protected:
    static constexpr int kCell = 28, kRow = 20, kGridTop = 40;
    void StepMonth(int by) {
        month_ = WrapMonth(month_ + by);
        Refresh();
    }
    void Refresh() {
        monthLabel_->setText(MonthName(month_));
        update();
    }
    QRect CellRect(int row, int column) const {
        return QRect(4 + column * kCell, kGridTop + kRow + row * kRow, kCell, kRow);
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().base());
        p.setPen(palette().text().color());
        for (int c = 0; c < 7; ++c)
            p.drawText(QRect(4 + c * kCell, kGridTop, kCell, kRow), Qt::AlignCenter,
                       QLatin1String(kShortDays[c]));
        const int rows = MonthGridRows(Year(), month_);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 7; ++c)
                if (int day = MonthGridDay(Year(), month_, r, c))
                    p.drawText(CellRect(r, c), Qt::AlignCenter, QString::number(day));
    }
    void mousePressEvent(QMouseEvent* e) override {
        // A press outside closes the popup by itself; one inside starts a choice.
        pressed_ = rect().contains(e->position().toPoint());
        Panel::mousePressEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        // The release of the click that opened the panel is not a choice.
        if (!pressed_)
            return;
        pressed_ = false;
        const QPoint pos = e->position().toPoint();
        const int rows = MonthGridRows(Year(), month_);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 7; ++c)
                if (CellRect(r, c).contains(pos))
                    if (int day = MonthGridDay(Year(), month_, r, c)) {
                        const QDate date(Year(), month_, day);
                        Report(year_ ? WM_CALENDAR_ONCE : WM_CALENDAR_YEARLY, DateToTime(date));
                        return;
                    }
    }

private:
    bool year_;
    bool pressed_ = false;
    int month_ = 1;
    int yearValue_ = 2000;
    QLabel* monthLabel_ = nullptr;
    QSpinBox* yearSpin_ = nullptr;
};

// Daily: seven check boxes; OK reports the mask, refused while no day is checked.
class DailyPanel : public Panel {
public:
    DailyPanel(CComboCalendar* owner, uint16_t mask) : Panel(owner) {
        auto* layout = new QVBoxLayout(this);
        for (int d = 0; d < 7; ++d) {
            boxes_[d] = new QCheckBox(QLatin1String(kDayNames[d]));
            boxes_[d]->setChecked(mask & (1u << d));
            layout->addWidget(boxes_[d]);
        }
        auto* ok = new QPushButton(QStringLiteral("OK"));
        layout->addWidget(ok);
        auto update = [this, ok] { ok->setEnabled(Mask() != 0); };
        for (QCheckBox* b : boxes_)
            QObject::connect(b, &QCheckBox::toggled, this, update);
        update();
        QObject::connect(ok, &QPushButton::clicked, this, [this] {
            if (Mask())
                Report(WM_CALENDAR_DAILY, Mask());
        });
    }
    uint16_t Mask() const {
        uint16_t m = 0;
        for (int d = 0; d < 7; ++d)
            if (boxes_[d]->isChecked())
                m |= static_cast<uint16_t>(1u << d);
        return m;
    }

private:
    QCheckBox* boxes_[7];
};

// Weekly: the seven day names; press inverts a line, release on it reports the day.
class WeeklyPanel : public Panel {
public:
    WeeklyPanel(CComboCalendar* owner, int current) : Panel(owner), current_(current) {
        const QFontMetrics fm(font());
        int widest = 0;
        for (const char* n : kDayNames)
            widest = std::max(widest, fm.horizontalAdvance(QLatin1String(n)));
        line_ = fm.height();
        setFixedSize(widest + widest / 9 + 4, line_ * 8);
    }

protected:
    int LineAt(QPoint p) const {
        const int line = p.y() / line_;
        return rect().contains(p) && line < 7 ? line : -1;
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().base());
        for (int d = 0; d < 7; ++d) {
            const QRect r(0, d * line_, width(), line_);
            if (d == pressed_) {
                p.fillRect(r, palette().text());
                p.setPen(palette().base().color());
            } else {
                if (d + 1 == current_)
                    p.fillRect(r, palette().button());
                p.setPen(palette().text().color());
            }
            p.drawText(r.adjusted(2, 0, 0, 0), Qt::AlignVCenter, QLatin1String(kDayNames[d]));
        }
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (!rect().contains(e->position().toPoint())) {
            close();
            return;
        }
        pressed_ = LineAt(e->position().toPoint());
        update();
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        const int line = LineAt(e->position().toPoint());
        if (line >= 0 && line == pressed_) {
            Report(WM_CALENDAR_WEEKLY, line + 1);
            return;
        }
        pressed_ = -1;
        update();
    }

private:
    int current_;
    int line_ = 16;
    int pressed_ = -1;
};

// Monthly: 5 rows × 7 equal cells; 1-31 and the field "Last Day of Month".
class MonthlyPanel : public Panel {
public:
    explicit MonthlyPanel(CComboCalendar* owner) : Panel(owner) { setFixedSize(7 * 28, 5 * 22); }

protected:
    QRect Cell(int cell) const {
        const int w = width() / 7, h = height() / 5;
        return QRect((cell % 7) * w, (cell / 7) * h, w, h);
    }
    int CellAt(QPoint p) const {
        if (!rect().contains(p))
            return -1;
        const int w = width() / 7, h = height() / 5;
        const int c = std::min(6, p.x() / w), r = std::min(4, p.y() / h);
        return r * 7 + c;
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().base());
        int first = -1, last = -1;
        if (pressed_ >= 0)
            MonthlyCellSpan(pressed_, &first, &last);
        for (int cell = 0; cell < 31; ++cell) {
            const bool inverted = cell >= first && cell <= last;
            if (inverted)
                p.fillRect(Cell(cell), palette().text());
            p.setPen(inverted ? palette().base().color() : palette().text().color());
            p.drawText(Cell(cell), Qt::AlignCenter, QString::number(cell + 1));
        }
        const QRect field = Cell(31).united(Cell(34));
        const bool inverted = first == 31;
        if (inverted)
            p.fillRect(field, palette().text());
        p.setPen(inverted ? palette().base().color() : palette().text().color());
        p.drawText(field, Qt::AlignCenter, QStringLiteral("Last Day of Month"));
    }
    void mousePressEvent(QMouseEvent* e) override {
        pressed_ = CellAt(e->position().toPoint());
        if (pressed_ < 0) {
            close();
            return;
        }
        update();
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        const int cell = CellAt(e->position().toPoint());
        int first = 0, last = 0;
        if (pressed_ >= 0)
            MonthlyCellSpan(pressed_, &first, &last);
        if (pressed_ >= 0 && cell >= first && cell <= last) {
            Report(WM_CALENDAR_MONTHLY, MonthlyCellValue(pressed_));
            return;
        }
        pressed_ = -1;
        update();
    }

private:
    int pressed_ = -1;
};

}  // namespace

// ---------------------------------------------------------------------------------------

CComboCalendar::CComboCalendar(QWidget* parent) : QWidget(parent), MessageReceiver(this) {
    setMinimumSize(120, 22);
    setFocusPolicy(Qt::StrongFocus);
    OnMessage(WM_CALENDAR_ONCE, [this](WPARAM, LPARAM t) {
        const QDate d = TimeToDate(t);
        m_memo.onceYear = ClampOnceYear(d.year());
        m_memo.onceMonth = static_cast<uint16_t>(d.month());
        m_memo.onceDay = static_cast<uint16_t>(d.day());
        update();
        return LRESULT(0);
    });
    OnMessage(WM_CALENDAR_DAILY, [this](WPARAM, LPARAM mask) {
        if (mask & kDailyAllDays)  // an empty mask is never taken
            m_memo.dailyDays = static_cast<uint16_t>(mask & kDailyAllDays);
        update();
        return LRESULT(0);
    });
    OnMessage(WM_CALENDAR_WEEKLY, [this](WPARAM, LPARAM day) {
        if (day >= 1 && day <= 7)
            m_memo.weeklyDay = static_cast<uint16_t>(day);
        update();
        return LRESULT(0);
    });
    OnMessage(WM_CALENDAR_MONTHLY, [this](WPARAM, LPARAM day) {
        if (day >= 1)
            m_memo.monthlyDay = static_cast<uint16_t>(std::min<LPARAM>(day, 35));
        update();
        return LRESULT(0);
    });
    OnMessage(WM_CALENDAR_YEARLY, [this](WPARAM, LPARAM t) {
        const QDate d = TimeToDate(t);
        m_memo.yearlyMonth = static_cast<uint16_t>(d.month());
        m_memo.yearlyDay = static_cast<uint16_t>(d.day());
        update();
        return LRESULT(0);
    });
}

ATOM CComboCalendar::RegisterComboCalendarClass(void*) {
    return RegisterControlClass(
        QStringLiteral("ComboCalendarClass"),
        [](QWidget* parent, const QString&, DWORD) { return new CComboCalendar(parent); });
}

void CComboCalendar::SetCalendarType(CALENDARTYPE type) {
    m_nType = type;
    update();
}

void CComboCalendar::SetCalendarTimes(const ECHOMEMOSTRUCT* memo) {
    if (memo)
        m_memo = *memo;
    update();
}

void CComboCalendar::GetCalendarTimes(ECHOMEMOSTRUCT* memo) const {
    if (memo)
        *memo = m_memo;
}

QString CComboCalendar::DisplayText() const {
    switch (m_nType) {
        case CALENDAR_ONCE: {
            const QDate d(m_memo.onceYear, m_memo.onceMonth, m_memo.onceDay);
            return d.isValid() ? QLocale().toString(d, QLocale::ShortFormat) : QString();
        }
        case CALENDAR_DAILY:
            return QStringLiteral("Daily");
        case CALENDAR_WEEKLY:
            return m_memo.weeklyDay >= 1 && m_memo.weeklyDay <= 7
                       ? QLatin1String(kDayNames[m_memo.weeklyDay - 1])
                       : QString();
        case CALENDAR_MONTHLY:
            return m_memo.monthlyDay > 31 ? QStringLiteral("Last Day of Month")
                                          : QString::number(m_memo.monthlyDay);
        case CALENDAR_YEARLY:
            return QStringLiteral("%1 %2").arg(m_memo.yearlyDay).arg(MonthName(m_memo.yearlyMonth));
    }
    return QString();
}

QWidget* CComboCalendar::OpenPanel() {
    if (!isEnabled())
        return nullptr;
    Panel* panel = nullptr;
    const QDate today = QDate::currentDate();
    switch (m_nType) {
        case CALENDAR_ONCE: {
            QDate d(m_memo.onceYear, m_memo.onceMonth, m_memo.onceDay);
            panel = new MonthPanel(this, true, d.isValid() ? d : today);
            break;
        }
        case CALENDAR_DAILY:
            panel = new DailyPanel(this, m_memo.dailyDays);
            break;
        case CALENDAR_WEEKLY:
            panel = new WeeklyPanel(this, m_memo.weeklyDay);
            break;
        case CALENDAR_MONTHLY:
            panel = new MonthlyPanel(this);
            break;
        case CALENDAR_YEARLY: {
            QDate d(today.year(), m_memo.yearlyMonth, 1);
            panel = new MonthPanel(this, false, d.isValid() ? d : today);
            break;
        }
    }
    if (panel)
        panel->ShowBelow();
    return panel;
}

void CComboCalendar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, isEnabled() ? palette().base() : palette().window());
    p.setPen(palette().mid().color());
    p.drawRect(r.adjusted(0, 0, -1, -1));
    // The drop-down arrow at the right.
    const int a = r.height();
    QRect arrow(r.right() - a + 1, 0, a, a);
    p.fillRect(arrow.adjusted(1, 1, -1, -1), palette().button());
    p.setBrush(palette().buttonText());
    const QPoint c = arrow.center();
    const QPoint tri[] = {c + QPoint(-4, -2), c + QPoint(4, -2), c + QPoint(0, 3)};
    p.drawPolygon(tri, 3);
    p.setPen(isEnabled() ? palette().text().color() : palette().mid().color());
    p.drawText(r.adjusted(4, 0, -a, 0), Qt::AlignVCenter | Qt::AlignLeft, DisplayText());
}

void CComboCalendar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        OpenPanel();
}

void CComboCalendar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(event);
}

// ---------------------------------------------------------------------------------------

CDescDlg::CDescDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Echo Memo(s): Description and Scheduled Playback"));
    new HelpKeyFilter(this, 180);
    m_pDescription = new QLineEdit;
    m_pDescription->setMaxLength(255);
    m_pReadout = new QLineEdit;
    m_pReadout->setReadOnly(true);
    m_pReadout->setFixedWidth(64);
    m_pHours = new QSpinBox;
    m_pMinutes = new QSpinBox;
    for (QSpinBox* s : {m_pHours, m_pMinutes}) {
        s->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        s->setFixedWidth(52);
        s->setKeyboardTracking(false);
    }
    m_pHours->setToolTip(QStringLiteral("Change Hours"));
    m_pMinutes->setToolTip(QStringLiteral("Change Minutes"));
    m_pMinutes->setRange(kMinutesLow, kMinutesHigh);
    m_pFrequency = new QComboBox;
    for (const char* f :
         {"User Initiated", "Once", "Hourly", "Daily", "Weekly", "Monthly", "Yearly"})
        m_pFrequency->addItem(QLatin1String(f));
    m_pCalendar = new CComboCalendar;
    m_pAM = new QRadioButton(QStringLiteral("AM"));
    m_pPM = new QRadioButton(QStringLiteral("PM"));
    m_pNotify = new QCheckBox(QStringLiteral("Display Playback Notification"));

    auto* form = new QGridLayout;
    form->addWidget(new QLabel(QStringLiteral("Description (optional)")), 0, 0, 1, 4);
    form->addWidget(m_pDescription, 1, 0, 1, 4);
    form->addWidget(new QLabel(QStringLiteral("Frequency")), 2, 0);
    form->addWidget(m_pFrequency, 2, 1, 1, 3);
    form->addWidget(new QLabel(QStringLiteral("Date")), 3, 0);
    form->addWidget(m_pCalendar, 3, 1, 1, 3);
    auto* time = new QHBoxLayout;
    time->addWidget(m_pReadout);
    time->addWidget(new QLabel(QStringLiteral("Hours")));
    time->addWidget(m_pHours);
    time->addWidget(new QLabel(QStringLiteral("Minutes")));
    time->addWidget(m_pMinutes);
    time->addWidget(m_pAM);
    time->addWidget(m_pPM);
    time->addStretch(1);
    form->addWidget(new QLabel(QStringLiteral("Time")), 4, 0);
    form->addLayout(time, 4, 1, 1, 3);
    form->addWidget(m_pNotify, 5, 0, 1, 4);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                         QDialogButtonBox::Help);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDescDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDescDlg::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [] { OpenHelpTopic(180); });
    connect(m_pFrequency, &QComboBox::currentIndexChanged, this, [this] { OnFrequencyChange(); });
    connect(m_pHours, &QSpinBox::valueChanged, this, [this] { OnStep(); });
    connect(m_pMinutes, &QSpinBox::valueChanged, this, [this] { OnStep(); });
    connect(m_pAM, &QRadioButton::toggled, this, [this] { Repaint(); });
    m_pAM->setChecked(true);
}

void CDescDlg::SetNoteInfo(const ECHOMEMOSTRUCT* memo, const char* description, int editable) {
    if (memo)
        m_memo = *memo;
    m_strDescription = QString::fromLocal8Bit(description ? description : "");
    m_bEditable = editable ? 1 : 0;
}

void CDescDlg::GetNoteInfo(ECHOMEMOSTRUCT* memo) const {
    if (!memo)
        return;
    *memo = m_memo;
    memo->played = 0;
}

void CDescDlg::showEvent(QShowEvent* event) {
    if (!m_bOpened) {
        m_bOpened = true;
        m_pDescription->setText(m_strDescription);
        m_pDescription->setEnabled(m_bEditable);
        if (m_bEditable)
            m_pDescription->setFocus();
        m_bStepping = true;
        if (m_b24Hour) {
            m_pHours->setRange(kHours24Low, kHours24High);
            m_pAM->hide();
            m_pPM->hide();
        } else {
            m_pHours->setRange(kHours12Low, kHours12High);
        }
        m_pNotify->setChecked(m_memo.notify != 0);
        m_pCalendar->SetCalendarTimes(&m_memo);
        const int frequency =
            m_memo.frequency >= MEMO_USER_INITIATED && m_memo.frequency <= MEMO_YEARLY
                ? m_memo.frequency
                : 0;
        m_bStepping = false;
        if (m_pFrequency->currentIndex() == frequency)
            OnFrequencyChange();
        else
            m_pFrequency->setCurrentIndex(frequency);
    }
    QDialog::showEvent(event);
}

void CDescDlg::OnFrequencyChange() {
    const int f = m_pFrequency->currentIndex();
    m_bStepping = true;
    if (f == MEMO_USER_INITIATED) {
        for (QWidget* w : {static_cast<QWidget*>(m_pHours), static_cast<QWidget*>(m_pMinutes),
                           static_cast<QWidget*>(m_pReadout), static_cast<QWidget*>(m_pAM),
                           static_cast<QWidget*>(m_pPM), static_cast<QWidget*>(m_pCalendar)})
            w->setEnabled(false);
    } else if (f == MEMO_HOURLY) {
        m_pMinutes->setValue(WrapMinutes(m_memo.hourlyTime / 60));
        for (QWidget* w : {static_cast<QWidget*>(m_pHours), static_cast<QWidget*>(m_pAM),
                           static_cast<QWidget*>(m_pPM), static_cast<QWidget*>(m_pCalendar)})
            w->setEnabled(false);
        m_pMinutes->setEnabled(true);
        m_pReadout->setEnabled(true);
    } else {
        const DescTime t = SecondsToDescTime(FrequencyTimeField(m_memo, f), m_b24Hour);
        m_pHours->setValue(t.hours);
        m_pMinutes->setValue(t.minutes);
        if (!m_b24Hour)
            (t.pm ? m_pPM : m_pAM)->setChecked(true);
        for (QWidget* w : {static_cast<QWidget*>(m_pHours), static_cast<QWidget*>(m_pMinutes),
                           static_cast<QWidget*>(m_pReadout), static_cast<QWidget*>(m_pAM),
                           static_cast<QWidget*>(m_pPM), static_cast<QWidget*>(m_pCalendar)})
            w->setEnabled(true);
        m_pCalendar->SetCalendarType(static_cast<CALENDARTYPE>(CalendarTypeForFrequency(f)));
    }
    m_bStepping = false;
    Repaint();
}

void CDescDlg::OnStep() {
    if (m_bStepping)
        return;
    m_bStepping = true;
    const int m = WrapMinutes(m_pMinutes->value());
    if (m != m_pMinutes->value())
        m_pMinutes->setValue(m);
    const int h = WrapHours(m_pHours->value(), m_b24Hour);
    if (h != m_pHours->value())
        m_pHours->setValue(h);
    m_bStepping = false;
    Repaint();
}

DescTime CDescDlg::CurrentTime() const {
    DescTime t;
    t.hours = WrapHours(m_pHours->value(), m_b24Hour);
    t.minutes = WrapMinutes(m_pMinutes->value());
    t.pm = m_pPM->isChecked() ? 1 : 0;
    return t;
}

QString CDescDlg::Readout() const {
    return m_pReadout->text();
}

void CDescDlg::Repaint() {
    m_pReadout->setText(FormatTimeReadout(m_pFrequency->currentIndex(), CurrentTime(), m_b24Hour));
}

void CDescDlg::accept() {
    ECHOMEMOSTRUCT memo = m_memo;
    m_pCalendar->GetCalendarTimes(&memo);
    StoreDescTime(memo, m_pFrequency->currentIndex(), CurrentTime(), m_b24Hour,
                  m_pNotify->isChecked());
    const QString problem = ScheduleProblem(memo);
    if (!problem.isEmpty()) {
        QMessageBox::information(this, windowTitle(), problem);
        return;
    }
    m_memo = memo;
    m_strDescription = m_pDescription->text();
    QDialog::accept();
}
