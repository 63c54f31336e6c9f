// Running gnuplot on a script of ours: the data files it reads live in a
// private temporary folder that goes with the job, and the picture is drawn
// under a temporary name beside the PNG and renamed only when gnuplot has
// succeeded, so that a failure leaves no empty or partial picture.
#ifndef STSGRID_GNUPLOT_H
#define STSGRID_GNUPLOT_H

#include <string>

namespace sts {

class gnuplot_job {
public:
    gnuplot_job() = default;
    gnuplot_job(const gnuplot_job&) = delete;
    gnuplot_job& operator=(const gnuplot_job&) = delete;
    // Removes the private folder with everything in it.
    ~gnuplot_job();

    // Finds gnuplot on PATH and makes the private folder (under $TMPDIR, else
    // /tmp).  false with *error when gnuplot is missing or the folder cannot
    // be made.
    bool open(std::string* error);

    // Writes contents to a file called name (a plain name) in the private
    // folder and returns its path; "" with *error when it cannot.
    std::string put(const std::string& name, const std::string& contents, std::string* error);

    // Runs gnuplot (its init files ignored) on script, after lines that set
    // a PNG terminal of width x height pixels with plain (not enhanced) text
    // and the output file.  png is replaced only when gnuplot ends without
    // error and has written a non-empty picture; otherwise false with
    // *error (gnuplot's own complaint included).  A link named png is
    // followed; a folder, device, FIFO or socket is refused before gnuplot
    // runs (output/atomic_file.h).  Precondition: open().
    bool draw(const std::string& script, int width, int height, const std::string& png,
              std::string* error);

private:
    std::string gnuplot_;  // the program's path
    std::string folder_;   // the private folder, "" until open()
};

// s as a gnuplot string expression: single-quoted (quotes doubled, no
// backquote command substitution), line breaks joined in as "\n".
std::string gnuplot_quote(const std::string& s);

}  // namespace sts

#endif
