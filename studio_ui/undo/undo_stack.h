// CUndoStack: the project's undo history behind Ctrl+Z, Ctrl+Shift+Z and the Edit menu. Each step
// is one CUndoCommand that knows how to take its edit back and make it again; the stack keeps
// where the history stands, which step equals the saved file (the clean index), a limit on the
// steps kept, and merges the commands of one gesture (a drag, a slider move) into a single step.
//
// Threads: user-interface thread only. The commands take the studio mutex and the sequencer's
// editor mutex themselves, as the models' own edits do; the stack holds no lock.
//
// How a view uses it: instead of calling the model's edit, it hands the stack the command for it
// (stack.Do(UndoCommands::MoveMachine(context, frame, x, y))). A drag calls BeginGesture at the
// press, Do for every step of the drag and EndGesture at the release; the steps of one command
// kind on one target become one step. The Edit menu shows UndoText() / RedoText() and enables its
// entries with CanUndo() / CanRedo(); after a save the document calls SetClean(), and IsClean()
// tells it whether undo or redo brought the project back to the saved one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CUndoCommand {
public:
    virtual ~CUndoCommand() = default;
    // The Edit menu's words for the step: "Move Machine".
    virtual std::string Text() const = 0;
    // The first time: makes the edit and records what undo and redo need. May raise; the stack
    // then keeps nothing of it.
    virtual void Do() = 0;
    virtual void Undo() = 0;
    virtual void Redo() = 0;
    // False when Do changed nothing (a drag that came back to its start): no step is kept.
    virtual bool Changed() const { return true; }
    // Takes a later command of the same gesture into this one (this keeps its own before, takes
    // the later one's after). False when the two are not of one kind and one target.
    virtual bool MergeWith(CUndoCommand& /*later*/) { return false; }
};

class CUndoStack {
public:
    static constexpr size_t kDefaultLimit = 500;

    // Runs the command's Do and keeps it as the next step (dropping the steps that could have
    // been redone). A command that changed nothing is dropped; inside a gesture it merges into
    // the step before when that one came from the same gesture and accepts it, and a step that
    // the merge brought back to no change at all is dropped. Returns whether a step was kept,
    // grown or dropped by a merge. What Do raises passes through and the history stays as it was.
    bool Do(std::unique_ptr<CUndoCommand> command);
    // Takes the current step back / makes the next one again. False when there is none. What a
    // command raises passes through and the position stays where it was.
    bool Undo();
    bool Redo();
    bool CanUndo() const { return m_index > 0; }
    bool CanRedo() const { return m_index < m_commands.size(); }
    // "Undo Move Machine", or "Undo" when there is nothing to undo; likewise "Redo ...".
    std::string UndoText() const;
    std::string RedoText() const;

    // One gesture of the user (press to release). Nested calls count; the outermost End closes it,
    // dropping its step when the gesture as a whole changed nothing.
    void BeginGesture();
    void EndGesture();

    // The project as it stands equals the saved file (after a save, an open, a new project).
    void SetClean();
    // Whether the position is the one SetClean marked. False once that step was dropped (by a
    // new command after undoing past it, or by the limit).
    bool IsClean() const { return m_clean == m_index; }

    // At least 1; the oldest steps go when there are more.
    void SetLimit(size_t limit);
    size_t Limit() const { return m_limit; }
    // Forgets every step (a project opened or made new); the project counts as clean.
    void Clear();

    size_t Count() const { return m_commands.size(); }
    // Steps currently done (the next undo takes back step Index() - 1).
    size_t Index() const { return m_index; }

    // Called after every change of the history (for the Edit menu and the title's mark).
    void SetChangedCallback(std::function<void()> callback) { m_changed = std::move(callback); }
    // Called just before a command's Do, Undo or Redo runs and just after it returned (not when
    // it raised), whether or not it changed anything: the document tells the project's edits
    // made through the history from those made around it.
    void SetRunHooks(std::function<void()> before, std::function<void()> after) {
        m_before = std::move(before);
        m_after = std::move(after);
    }

private:
    static constexpr size_t kNoClean = static_cast<size_t>(-1);
    // Forgets the count oldest steps (all done ones), moving the marks along.
    void DropOldest(size_t count);
    void Changed() {
        if (m_changed) m_changed();
    }
    // Runs one of a command's three operations between the run hooks.
    template <class Run> void RunCommand(Run run) {
        if (m_before) m_before();
        run();
        if (m_after) m_after();
    }

    std::vector<std::unique_ptr<CUndoCommand>> m_commands;
    size_t m_index = 0;
    size_t m_clean = 0;
    size_t m_limit = kDefaultLimit;
    int32_t m_gestureDepth = 0;
    // The step the open gesture made (kNoClean: none yet); only that one takes merges.
    size_t m_gestureStep = kNoClean;
    std::function<void()> m_changed;
    std::function<void()> m_before;
    std::function<void()> m_after;
};
