#pragma once

#include "sources/Suffixes.h"

#include <QList>
#include <QStringView>

#include <memory>

// Cutting a downloaded deletion list into lines and filing them by suffix.
namespace Sources {

// The page cut at every line feed. Empty text gives no pieces, and a final line feed ends the
// last line rather than starting an empty one. The views point into `page`, which must outlive
// them.
QList<QStringView> cutLines(QStringView page);

// Whether `entry` (already trimmed) can be a domain name: letters of any script, digits, hyphens
// and dots only, with a dot that is not its first character. Blank lines, markup and lines
// with inner spaces are not names.
bool isNameLike(QStringView entry);

// Files pieces [from, to) of the registrar's daily file into the com, info, net, org and biz
// lists, so that a caller can file a big page in chunks and return to the event loop in between.
// Each line loses its line-end CR and surrounding blanks, then goes to the list of its suffix:
// the part after its first dot, exactly com, info, net, org or biz in any case. A com line of
// 18 characters or more is dropped. Returns how many lines were skipped: not names, or other
// suffixes (the dropped long com lines are not counted). Out-of-range bounds are clamped.
qsizetype fileDailyLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to,
                         SourceLists &lists);

// Files pieces [from, to) of the CN registry's file into the net.cn, com.cn, org.cn, gov.cn and
// cn lists: every "[" and "]" is removed first, then the line is trimmed and filed by its suffix
// (exactly net.cn, com.cn, org.cn, gov.cn or cn). Returns how many lines were skipped.
qsizetype fileCnLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to,
                      SourceLists &lists);

class SharedText; // the text filed entries share; SourceLists.cpp

// A whole page filed in one pass, by the rules of fileDailyLines or fileCnLines, a chunk of lines
// at a time so that the loader can return to the event loop in between. Lines are counted as
// cutLines cuts them. The filing takes the page over: the filed entries share its text.
class PageFiling final {
    Q_DISABLE_COPY_MOVE(PageFiling)

public:
    PageFiling(QString page, bool cnFile);
    ~PageFiling();

    // Files up to `lines` more lines into `lists`.
    void fileLines(qsizetype lines, SourceLists &lists);
    bool atEnd() const { return m_at >= m_size; }
    qsizetype linesRead() const { return m_lines; }
    // Lines that were not names, or names of other suffixes.
    qsizetype skipped() const { return m_skipped; }

private:
    void fileSome(qsizetype lines, SourceLists &lists);

    bool m_cnFile;
    qsizetype m_size;
    qsizetype m_at = 0;
    qsizetype m_lines = 0;
    qsizetype m_skipped = 0;
    std::unique_ptr<SharedText> m_text;
    char16_t *m_data = nullptr;
    std::array<qsizetype, 5> m_sizesBefore{}; // the file's five lists when filing began
};

} // namespace Sources
