#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

#include "trim/output_writer.h"

namespace ostravex {

// A dry run's writer: writes nothing, and meets every step as the real writer would: it
// makes the same checks (CheckOutputPlan, CheckRenamePlan) before each output and rename.
// A rom file to be cut in place is opened for update as in a real run; a new file is
// created only in thought; the SRAM patch is
// planned on the bytes the output would hold. What the run would have created, cut,
// padded, backed up or renamed is kept in account, so that later entries (a scene-number
// rename, a second entry of the same file, a ".bak" made earlier in the run) see the files
// as the real run would leave them. Changes of bytes by the SRAM patch are not kept. A
// member read as it comes whose result must be compared or patched is made in a file
// without a name, which nobody sees and which vanishes with it.
class DryRunWriter final : public OutputWriter {
  public:
    void runStarted() override;
    bool exists(const std::string& path) const override;
    std::optional<ChangedFile> changedFile(const std::string& path) const override;
    std::optional<OutputFailure> prepare(const OutputTarget& target, File& source) override;
    std::optional<OutputFailure> prepareStreamed(const OutputTarget& target, bool imageNeeded,
                                                 File*& receiver) override;
    OutputResult write(const OutputContent& content, OutputPatcher& patcher,
                       const CopyProgress& progress) override;
    void discard() override {
        m_target.reset();
        m_receiver.close();
    }
    Status rename(const std::string& from, const std::string& to) override;

  private:
    // Success when nothing stands at `path`, as the run would have left it.
    Status nameIsFree(const std::string& path) const;
    void create(const std::string& path);
    // An unnamed file for a result to be made in, near `path`.
    Status createReceiver(const std::string& path);
    // Makes the result in the unnamed receiver, as a real run makes it in its output;
    // `streamed`: the receiver took a member's bytes as they came.
    OutputResult finishReceiver(const OutputContent& content, OutputPatcher& patcher,
                                const CopyProgress& progress, bool streamed);
    void compareWithMadeInThought(const OutputContent& content, OutputResult& result) const;
    // The target's new file, made in thought.
    void createNewFile(const OutputContent& content);

    std::optional<OutputTarget> m_target;
    // A member's bytes, when the result is needed whole; it has no name and vanishes.
    File m_receiver;
    // What the run would have changed: names it would have made, names it would have
    // freed, and files whose bytes it would have cut or padded.
    std::set<std::string> m_created;
    std::set<std::string> m_gone;
    std::map<std::string, ChangedFile> m_changed;
    // What each new file made in thought was made from.
    std::map<std::string, ResultOrigin> m_origins;
};

}  // namespace ostravex
