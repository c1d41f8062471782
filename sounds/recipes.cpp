// The 49 cue sounds. Each family has its own timbre, so the first few
// milliseconds already say which kind of command it is; within a family the
// first pitch (and for some a noise attack) differs from file to file, and
// the motif that follows tells the command.
//
// Pitches are MIDI note numbers (69 = A4 = 440 Hz); the lowest fundamental
// used is E4 (330 Hz), the highest G6 (1568 Hz), always quiet.
#include <cmath>

#include "recipes.h"

namespace soundgen {

namespace {

using T = Timbre;

Note tone(T timbre, double atMs, double lengthMs, double midi, double decayMs = 0,
          double level = 1, double attackMs = 4) {
    Note n;
    n.startMs = atMs;
    n.lengthMs = lengthMs;
    n.fromMidi = midi;
    n.timbre = timbre;
    n.level = level;
    n.attackMs = attackMs;
    n.decayMs = decayMs;
    return n;
}

Note glide(T timbre, double atMs, double lengthMs, double fromMidi, double toMidi,
           double glideMs = 0, double decayMs = 0, double level = 1) {
    Note n = tone(timbre, atMs, lengthMs, fromMidi, decayMs, level);
    n.toMidi = toMidi;
    n.glideMs = glideMs;
    return n;
}

double hzToMidi(double hz) { return 69 + 12 * std::log2(hz / 440); }

// Band-pass noise centred on `hz`, optionally sweeping to `toHz`.
Note noise(double atMs, double lengthMs, double hz, double q, double decayMs = 0,
           double level = 1, double toHz = 0, double attackMs = 1) {
    Note n = tone(T::Noise, atMs, lengthMs, hzToMidi(hz), decayMs, level, attackMs);
    n.q = q;
    n.toMidi = toHz > 0 ? hzToMidi(toHz) : 0;
    return n;
}

// Struck and plucked notes start fast.
Note struck(T timbre, double atMs, double lengthMs, double midi, double decayMs,
            double level = 1) {
    return tone(timbre, atMs, lengthMs, midi, decayMs, level, 1.5);
}

// A rattle of short noise grains whose centre moves from fromHz to toHz.
void grains(std::vector<Note>& notes, int count, double spacingMs, double fromHz, double toHz) {
    for (int i = 0; i < count; ++i) {
        const double x = static_cast<double>(i) / (count - 1);
        const double hz = fromHz * std::pow(toHz / fromHz, x);
        notes.push_back(noise(i * spacingMs, 18, hz, 4, 6, i % 2 == 0 ? 1.0 : 0.7));
    }
}

// Navigation: clear glass tones, two notes, the direction of the glide is the
// direction of the move.
void navigation(std::vector<Recipe>& r) {
    // Home: from the fifth down to the tonic, the place one comes back to.
    r.push_back({"Homebutton.wav", {tone(T::Glass, 0, 80, 79, 150),
                                    tone(T::Glass, 70, 150, 72, 120)}});
    // Back falls, forward rises, each in two gliding steps.
    r.push_back({"Backarrow.wav", {glide(T::Glass, 0, 90, 76, 74, 0, 150),
                                   glide(T::Glass, 80, 120, 72, 69, 0, 120)}});
    r.push_back({"Forwardarrow.wav", {glide(T::Glass, 0, 90, 67, 69, 0, 150),
                                      glide(T::Glass, 80, 120, 72, 76, 0, 120)}});
    // Up rises further and steeper than forward.
    r.push_back({"Uparrow.wav", {glide(T::Glass, 0, 80, 71, 76, 0, 150),
                                 glide(T::Glass, 70, 130, 79, 84, 0, 120)}});
    // Reread: the same short note twice, once again.
    r.push_back({"Reread.wav", {tone(T::Glass, 0, 60, 84, 100, 1, 1.5),
                                tone(T::Glass, 85, 90, 84, 100, 1, 1.5)}});
}

// Clipboard: short plucks, the rhythm tells the command.
void clipboard(std::vector<Recipe>& r) {
    // Cut: two snips of the scissors, high and dry.
    r.push_back({"Cut.wav", {struck(T::Pluck, 0, 60, 86, 18), noise(0, 15, 3000, 3, 4, 0.5),
                             struck(T::Pluck, 50, 85, 83, 22), noise(50, 15, 3000, 3, 4, 0.5)}});
    // Copy: one pluck and its exact double; the second closes the sound.
    r.push_back({"Copy_(loop).wav", {struck(T::Pluck, 0, 100, 77, 40),
                                     struck(T::Pluck, 100, 150, 77, 50)}});
    // Paste: a pluck that comes down and settles.
    r.push_back({"Paste.wav", {struck(T::Pluck, 0, 80, 81, 30),
                               struck(T::Pluck, 70, 200, 74, 70)}});
    // Select all: a quick sweep up across everything.
    r.push_back({"Mark.wav", {struck(T::Pluck, 0, 60, 72, 30), struck(T::Pluck, 35, 60, 76, 30),
                              struck(T::Pluck, 70, 60, 79, 30),
                              struck(T::Pluck, 105, 155, 84, 60)}});
}

// The "save" motif: a step down into place.
void saveMotif(std::vector<Note>& n, double atMs) {
    n.push_back(struck(T::Wood, atMs, 70, 74, 40));
    n.push_back(struck(T::Wood, atMs + 55, 110, 67, 60));
}

// "Save as": the save motif with a rising after-note, asking for a name.
std::vector<Note> saveAs(std::vector<Note> opening) {
    saveMotif(opening, 35);
    opening.push_back(struck(T::Wood, 170, 150, 71, 70));
    return opening;
}

// Files and documents: a wooden bar, struck.
void files(std::vector<Recipe>& r) {
    // Open zips up, close zips down: a run of four with a faint zip noise.
    r.push_back({"Zip_up.wav", {struck(T::Wood, 0, 50, 64, 40), struck(T::Wood, 30, 50, 68, 40),
                                struck(T::Wood, 60, 50, 71, 40), struck(T::Wood, 90, 160, 76, 70),
                                noise(0, 110, 1000, 2, 0, 0.15, 3000, 10)}});
    r.push_back({"Zip_down.wav", {struck(T::Wood, 0, 50, 79, 40), struck(T::Wood, 30, 50, 76, 40),
                                  struck(T::Wood, 60, 50, 72, 40), struck(T::Wood, 90, 160, 67, 70),
                                  noise(0, 110, 3000, 2, 0, 0.15, 1000, 10)}});
    {
        std::vector<Note> n;
        saveMotif(n, 0);
        n.back().lengthMs = 180;
        n.back().decayMs = 80;
        r.push_back({"Save.wav", n});
    }
    // The three "save as" cues share the motif; each opens with its own mark:
    // a grace note, a glint (image), two linked notes (link).
    r.push_back({"Save_as.wav", saveAs({struck(T::Wood, 0, 40, 81, 20)})});
    r.push_back({"S_SaveImageAs.WAV", saveAs({struck(T::Glass, 0, 60, 88, 30, 0.6)})});
    r.push_back({"S_SaveLinkAs.WAV", saveAs({struck(T::Wood, 0, 45, 69, 25, 0.7),
                                             struck(T::Wood, 0, 45, 73, 25, 0.7)})});
    // Delete: a crunch, then the bar sinks away.
    r.push_back({"Delete.wav", {noise(0, 40, 1200, 2, 12, 0.6),
                                glide(T::Wood, 0, 220, 72, 64, 180, 90)}});
    // Move: the note slides over to a new place and lands there.
    r.push_back({"Move1.wav", {glide(T::Wood, 0, 140, 69, 74, 100, 100),
                               struck(T::Wood, 130, 120, 74, 50)}});
    // Rename: the same note, then changed.
    r.push_back({"S_Rename.WAV", {struck(T::Wood, 0, 70, 77, 40),
                                  glide(T::Wood, 70, 160, 77, 80, 60, 70)}});
    // New folder or document: a bright pop with a sparkle above it.
    r.push_back({"S_New.WAV", {struck(T::Wood, 0, 60, 83, 25),
                               struck(T::Glass, 20, 140, 91, 50, 0.35)}});
    // A window opens as one note spreading apart, and closes as two meeting.
    r.push_back({"Window_open.wav", {glide(T::Wood, 0, 200, 71, 66, 120, 100, 0.7),
                                     glide(T::Wood, 0, 200, 71, 78, 120, 100, 0.7)}});
    r.push_back({"Window_close.wav", {glide(T::Wood, 0, 200, 64, 72, 120, 100, 0.7),
                                      glide(T::Wood, 0, 200, 80, 72, 120, 100, 0.7)}});
    // Print: the ticking of a print head, then the page.
    {
        std::vector<Note> n;
        for (int i = 0; i < 5; ++i) {
            n.push_back(noise(25.0 * i, 12, 2500, 4, 3, 0.8));
            n.push_back(struck(T::Wood, 25.0 * i, 25, i % 2 == 0 ? 84 : 86, 8, 0.4));
        }
        n.push_back(struck(T::Wood, 130, 150, 76, 60));
        r.push_back({"Print.wav", n});
    }
    // Search: a high ping and two fading echoes; the last echo ends it.
    r.push_back({"Search_(loop).wav", {struck(T::Wood, 0, 120, 86, 50),
                                       struck(T::Wood, 120, 110, 86, 45, 0.45),
                                       struck(T::Wood, 230, 110, 86, 40, 0.2)}});
}

// Text formatting: a soft reed, held notes.
void formatting(std::vector<Recipe>& r) {
    // Alignment and font: a short trill, the general "format" sign.
    r.push_back({"S_Formatting.WAV", {tone(T::Reed, 0, 32, 74), tone(T::Reed, 30, 32, 76),
                                      tone(T::Reed, 60, 32, 74), tone(T::Reed, 90, 32, 76),
                                      tone(T::Reed, 120, 80, 74)}});
    // Bold: a thick three-note chord.
    r.push_back({"S_Bold.WAV", {tone(T::Reed, 0, 190, 67, 200, 0.6),
                                tone(T::Reed, 0, 190, 74, 200, 0.6),
                                tone(T::Reed, 0, 190, 79, 200, 0.6)}});
    // Italic: one slanted note, gliding up.
    r.push_back({"S_Italic.WAV", {glide(T::Reed, 0, 200, 72, 79, 110)}});
    // Underline: a note with a low line held beneath it.
    r.push_back({"S_Underline.WAV", {tone(T::Reed, 0, 100, 79),
                                     tone(T::Reed, 40, 200, 67, 0, 0.8)}});
    // Font size: three notes, each higher, louder and longer: growing.
    r.push_back({"S_Fontsize.WAV", {tone(T::Reed, 0, 60, 70, 0, 0.4),
                                    tone(T::Reed, 60, 70, 75, 0, 0.65),
                                    tone(T::Reed, 130, 130, 82)}});
    // Spelling: three short letters and a settling note.
    r.push_back({"S_Spelling.WAV", {tone(T::Reed, 0, 35, 84), tone(T::Reed, 55, 35, 81),
                                    tone(T::Reed, 110, 35, 84), tone(T::Reed, 165, 60, 79)}});
}

Note bell(double atMs, double lengthMs, double midi, double decayMs = 80, double level = 1) {
    return tone(T::Bell, atMs, lengthMs, midi, decayMs, level, 2);
}

// Mail: bells, like a letter arriving.
void mail(std::vector<Recipe>& r) {
    // New mail: a fourth up, beginning.
    r.push_back({"Composemail.wav", {bell(0, 120, 76), bell(90, 200, 81, 100)}});
    // Reply: back down to the sender.
    r.push_back({"Replymail.wav", {bell(0, 110, 83, 70), bell(90, 200, 76, 100)}});
    // Forward: on and up in three steps.
    r.push_back({"Forwardmail.wav", {bell(0, 80, 72, 60), bell(60, 80, 76, 60),
                                     bell(120, 200, 79, 100)}});
    // Send: a rising whoosh that carries the bell away.
    r.push_back({"Sendmail.wav", {noise(0, 150, 600, 2.5, 0, 0.6, 4000, 20),
                                  bell(120, 200, 84, 90)}});
    // Attach: the two clicks of a paper clip, then the bell.
    r.push_back({"Attach.wav", {noise(0, 10, 3500, 5, 2.5, 0.9), noise(40, 10, 3500, 5, 2.5, 0.9),
                                bell(60, 200, 79, 90)}});
    // Address book and favourites: a page turning over a soft two-bell chord.
    r.push_back({"Book.wav", {noise(0, 70, 1500, 1.5, 0, 0.5, 0, 25),
                              bell(50, 200, 74, 100, 0.6), bell(50, 200, 78, 100, 0.6)}});
}

// Recycle bin: rattling grains over the low clank of a metal bin; where the
// grains move says what happens.
void recycleBin(std::vector<Recipe>& r) {
    // The bin itself: the clank of a pedal bin's lid.
    r.push_back({"Pedal.wav", {noise(0, 20, 2000, 3, 6), bell(0, 150, 70, 40, 0.8),
                               struck(T::Wood, 30, 150, 64, 50)}});
    // Empty the bin: the rattle pours down.
    {
        std::vector<Note> n;
        grains(n, 12, 22, 3000, 700);
        n.push_back(glide(T::Bell, 0, 280, 79, 67, 0, 150, 0.4));
        r.push_back({"Recycle.wav", n});
    }
    // Restore: the rattle comes back up.
    {
        std::vector<Note> n;
        grains(n, 12, 22, 700, 3000);
        n.push_back(glide(T::Bell, 0, 280, 67, 79, 0, 150, 0.4));
        r.push_back({"Recycleback.wav", n});
    }
}

Note brass(double atMs, double lengthMs, double midi, double level = 1) {
    return tone(T::Brass, atMs, lengthMs, midi, 0, level, 8);
}

// Applications and desktop items: full timbres, each a small signature.
void applications(std::vector<Recipe>& r) {
    r.push_back({"S_Word.WAV", {brass(0, 90, 64), brass(80, 160, 76)}});
    // The browser: a wide arpeggio, spanning the globe.
    r.push_back({"Browser1.wav", {tone(T::Organ, 0, 60, 67), tone(T::Organ, 45, 60, 74),
                                  tone(T::Organ, 90, 60, 83), tone(T::Organ, 135, 140, 86, 80)}});
    // The computer: beep, boop, beep.
    r.push_back({"My Computer.wav", {tone(T::Square, 0, 50, 81, 0, 0.7),
                                     tone(T::Square, 60, 50, 76, 0, 0.7),
                                     tone(T::Square, 120, 90, 81, 0, 0.7)}});
    // Start: a fanfare, fifth then the octave.
    r.push_back({"S_StartMenu.WAV", {brass(0, 120, 67, 0.7), brass(0, 120, 74, 0.7),
                                     brass(110, 180, 79)}});
    // Control panel: two switch clicks, each with a chord.
    r.push_back({"S_ControlP.WAV", {noise(0, 10, 2200, 5, 2.5), tone(T::Organ, 5, 90, 70, 0, 0.6),
                                    tone(T::Organ, 5, 90, 77, 0, 0.6), noise(70, 10, 2200, 5, 2.5),
                                    tone(T::Organ, 75, 150, 70, 0, 0.6),
                                    tone(T::Organ, 75, 150, 77, 0, 0.6)}});
    // The file explorer: a zigzag, looking around.
    r.push_back({"S_Explorer.WAV", {tone(T::Organ, 0, 55, 76), tone(T::Organ, 50, 55, 83),
                                    tone(T::Organ, 100, 55, 79), tone(T::Organ, 150, 120, 86, 80)}});
    // The document reader: a somersault, up an octave and back.
    r.push_back({"S_Acrobat.WAV", {glide(T::Brass, 0, 110, 69, 81, 70),
                                   glide(T::Brass, 100, 150, 81, 69, 70)}});
    // The media player: the whirr of a film projector, 24 frames a second.
    {
        Note whirr = glide(T::Organ, 0, 320, 74, 79, 200);
        whirr.tremoloHz = 24;
        whirr.tremoloDepth = 0.6;
        Note hiss = noise(0, 320, 1500, 1, 0, 0.15, 0, 10);
        hiss.tremoloHz = 24;
        hiss.tremoloDepth = 0.8;
        r.push_back({"Projector.wav", {whirr, hiss}});
    }
    // Archive: two notes squeezed together.
    r.push_back({"Press.wav", {glide(T::Square, 0, 200, 64, 74, 120, 0, 0.6),
                               glide(T::Square, 0, 200, 84, 74, 120, 0, 0.6)}});
    // Messenger: two chat chirps.
    r.push_back({"S_Messenger.WAV", {glide(T::Organ, 0, 70, 84, 88), glide(T::Organ, 90, 110, 84, 88)}});
    // My documents: the computer's organ with a document's wooden pop.
    r.push_back({"S_MyDocs.WAV", {tone(T::Organ, 0, 100, 71), struck(T::Wood, 0, 60, 83, 30),
                                  tone(T::Organ, 90, 150, 78)}});
}

}  // namespace

std::vector<Recipe> allRecipes() {
    std::vector<Recipe> r;
    navigation(r);
    clipboard(r);
    files(r);
    formatting(r);
    mail(r);
    recycleBin(r);
    applications(r);
    return r;
}

std::uint32_t seedOf(const std::string& file) {
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (char c : file) {
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return h;
}

}  // namespace soundgen
