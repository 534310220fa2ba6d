// orvala-cli: information, export, protocol statistics and pictures of
// cytometry files from the command line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

#include "CliCommon.h"
#include "Commands.h"
#include "formats/ReadOptions.h"

using namespace orvala::cli;

int main(int argc, char** argv)
{
    CLI::App app{"Orvala command-line tool: inspect, export, gate and render flow-cytometry files"};
    app.require_subcommand(1);

    InfoOptions info;
    auto* infoCmd = app.add_subcommand("info", "Describe every data set of the files");
    infoCmd->add_option("FILE", info.files, "FCS files")->required();
    infoCmd->add_flag("--keywords", info.keywords, "Also print the whole TEXT segment in file order");
    infoCmd->add_flag("--json", info.json, "Print JSON instead of text");

    ExportOptions exp;
    auto* exportCmd = app.add_subcommand("export", "Write one data set as FCS (.fcs) or tab-separated text (.txt)");
    exportCmd->add_option("FILE", exp.file, "Input file")->required();
    exportCmd->add_option("--to", exp.to, "Output file; the extension chooses the format")->required();
    exportCmd->add_option("--dataset", exp.dataset, "0-based position in the file's chain of data sets")
        ->default_val(0);
    exportCmd->add_flag("--scale", exp.scale, "Text output scaled to 0..1023");

    // How .txt tables are laid out (the workbench asks this in "File Format")
    // and the event limit of the text readers and the 32-channel log.
    orvala::ReadOptions read;
    std::vector<std::string> delimiters;
    for (CLI::App* cmd : {infoCmd, exportCmd}) {
        cmd->add_flag("--names", read.Text.parnam, "Text tables: the first row read names the parameters");
        cmd->add_flag("--event-names", read.Text.evetnam, "Text tables: the first column names the events");
        cmd->add_option("--delimiters", delimiters, "Text tables: space, tab, comma and/or colon (default tab)")
            ->delimiter(',')
            ->check(CLI::IsMember({"space", "tab", "comma", "colon"}));
        cmd->add_option("--start-line", read.Text.Line, "Text tables: the 1-based line the table starts on")
            ->check(CLI::PositiveNumber);
        cmd->add_option("--limit", read.EventLimit, "Text tables and 32-channel logs: at most this many events")
            ->check(CLI::NonNegativeNumber);
    }

    ApplyOptions apply;
    auto* applyCmd = app.add_subcommand("apply", "Replay a protocol on files and write gate statistics");
    applyCmd->add_option("PROTOCOL", apply.protocol,
                         "Protocol file (.orp), or a workspace (.orw): the gates of its first data set with gates")
        ->required();
    applyCmd->add_option("FILE", apply.files, "Files to gate");
    applyCmd->add_option("--files-from", apply.filesFrom,
                         "Also gate the files of this list, one path a line (blank lines skipped, repeats read once)");
    applyCmd
        ->add_option("--shard", apply.shard, "Only every N-th file of all named, from the I-th (0-based): I/N")
        ->check(CLI::Validator(
            [](std::string& s) {
                try {
                    parseShard(s);
                    return std::string();
                } catch (const CliError& e) {
                    return std::string(e.what());
                }
            },
            "I/N"));
    applyCmd->add_option("--stats", apply.stats, "Statistics table to write (tab-separated)")->required();
    applyCmd->add_option("--save-gated", apply.saveGated, "Folder for every gated data set as FCS");
    applyCmd->add_option("--threads", apply.threads, "Files gated at once (default: one per processor)")
        ->check(CLI::PositiveNumber);

    MergeOptions merge;
    auto* mergeCmd =
        app.add_subcommand("merge", "Join the statistics tables of apply --shard runs into the table of one run");
    mergeCmd->add_option("TABLE", merge.tables, "Statistics tables of the shards")->required();
    mergeCmd->add_option("--files-from", merge.filesFrom, "The file list the shards were given; rows follow its order")
        ->required();
    mergeCmd->add_option("--to", merge.to, "Merged table to write")->required();

    RenderOptions render;
    auto* renderCmd = app.add_subcommand("render", "Draw the density map (or a histogram without --y) as PNG");
    renderCmd->add_option("FILE", render.file, "Input file")->required();
    renderCmd->add_option("--x", render.x, "X parameter, or NAME+NAME for their sum")->required();
    renderCmd->add_option("--y", render.y, "Y parameter, or NAME+NAME for their sum; none draws a histogram");
    renderCmd->add_option("--xscale", render.xscale, "X axis scale")
        ->check(CLI::IsMember({"lin", "linlog", "loglin"}))
        ->default_val("lin");
    renderCmd->add_option("--yscale", render.yscale, "Y axis scale")
        ->check(CLI::IsMember({"lin", "linlog", "loglin"}))
        ->default_val("lin");
    renderCmd->add_option("--size", render.size, "Picture size WxH")->default_val("600x600");
    renderCmd->add_option("--dataset", render.dataset, "0-based position in the file's chain of data sets")
        ->default_val(0);
    renderCmd->add_option("--png", render.png, "PNG file to write")->required();

    UnmixOptions unmix;
    auto* unmixCmd = app.add_subcommand("unmix", "Unmix a spectral data set against reference spectra and write it");
    unmixCmd->add_option("FILE", unmix.file, "Input file")->required();
    unmixCmd->add_option("--spectra", unmix.spectra, "Reference spectra (CSV: header of detector names, one spectrum a row)")
        ->required();
    unmixCmd->add_option("--method", unmix.method, "Least squares, or non-negative least squares")
        ->check(CLI::IsMember({"ls", "nnls"}))
        ->default_val("ls");
    unmixCmd->add_option("--to", unmix.to, "Output file; the extension chooses the format (.fcs or .txt)")->required();
    unmixCmd->add_option("--dataset", unmix.dataset, "0-based position in the file's chain of data sets")
        ->default_val(0);

    TransformOptions transform;
    auto* transformCmd =
        app.add_subcommand("transform", "Run an event transform of the Tools menu and write the result");
    transformCmd->add_option("FILE", transform.file, "Input file")->required();
    transformCmd->add_option("--op", transform.op, transformHelp())->required();
    transformCmd->add_option("--arg", transform.args,
                             "Argument of the transform, once per value (numbers with \".\"; parameters by name "
                             "or 1-based number)")
        ->allow_extra_args(false);
    transformCmd->add_option("--table", transform.table, "Where findsignal writes its run table (TestSignal.csv)");
    transformCmd->add_option("--to", transform.to, "Output file; the extension chooses the format (.fcs or .txt)")
        ->required();
    transformCmd->add_option("--dataset", transform.dataset, "0-based position in the file's chain of data sets")
        ->default_val(0);

    ClassifyOptions classify;
    auto* classifyCmd =
        app.add_subcommand("classify", "Classify every pixel of a picture or image stack and write the class map");
    classifyCmd
        ->add_option("IMAGE_OR_STACK", classify.image,
                     "Picture file, or directory of frames named after their wavelength")
        ->required();
    classifyCmd->add_option("--classes", classify.classes,
                            "Class spectra (CSV: header of bands, one class a row, in band order) or a class file (.soc)")
        ->required();
    classifyCmd->add_option("--method", classify.method, "Spectral angle, or largest non-negative unmixing amount")
        ->check(CLI::IsMember({"sam", "sd"}))
        ->default_val("sam");
    classifyCmd->add_option("--threshold", classify.threshold, "sam: largest angle in degrees a class takes")
        ->check(CLI::NonNegativeNumber);
    classifyCmd->add_option("--to", classify.to, "Class map: .csv (class index per pixel, -1 for none) or .png")
        ->required();

    GatingMlOptions gml;
    auto* gmlCmd = app.add_subcommand("gatingml", "Evaluate the gates of a Gating-ML 2.0 document on files");
    gmlCmd->add_option("GATES", gml.gates, "Gating-ML document (.xml)")->required();
    gmlCmd->add_option("FILE", gml.files, "FCS files to gate")->required();
    gmlCmd->add_option("--stats", gml.stats, "Statistics table to write (the columns of apply)");
    gmlCmd->add_option("--membership", gml.membership,
                       "One FILE: table of gate ids and one row per event, 1 when in the gate (and its parents)");
    ExportGatingMlOptions gmlExport;
    auto* gmlExportCmd = app.add_subcommand("export-gatingml", "Write the gates of a protocol or workspace as Gating-ML 2.0");
    gmlExportCmd->add_option("FILE", gmlExport.file, "FCS file whose parameters the gates refer to")->required();
    gmlExportCmd->add_option("--protocol", gmlExport.protocol, "Protocol file (.orp)");
    gmlExportCmd->add_option("--workspace", gmlExport.workspace, "Workspace (.orw): the gates of its first data set with gates");
    gmlExportCmd->add_option("--to", gmlExport.to, "Gating-ML document to write (.xml)")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "orvala-cli: %s\n", e.what());
        return 2;
    }

    if (!delimiters.empty()) {
        read.Text.Tab = false;
        for (const std::string& d : delimiters) {
            read.Text.Space |= d == "space";
            read.Text.Tab |= d == "tab";
            read.Text.Comma |= d == "comma";
            read.Text.Colon |= d == "colon";
        }
    }
    orvala::setReadOptions(read);

    try {
        if (*infoCmd) return runInfo(info);
        if (*exportCmd) return runExport(exp);
        if (*applyCmd) return runApply(apply);
        if (*mergeCmd) return runMerge(merge);
        if (*renderCmd) return runRender(render);
        if (*unmixCmd) return runUnmix(unmix);
        if (*transformCmd) return runTransform(transform);
        if (*gmlCmd) return runGatingMl(gml);
        if (*gmlExportCmd) return runExportGatingMl(gmlExport);
        if (*classifyCmd) return runClassify(classify);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvala-cli: %s\n", e.what());
        return 1;
    }
    return 1;
}
