// The .NET runtime's own ZIP writer (System.IO.Compression), as a vendor's build tool on .NET
// uses it, for tests/install/zip_corpus.py; one run, since each start of the script costs
// seconds:
//     dotnet fsi zip_corpus_dotnet.fsx <folder> <archive> > <streamed archive>
// <archive> is ZipFile.CreateFromDirectory's; the streamed one is a ZipArchive written to an
// unseekable stream (standard output), whose entries carry data descriptors.
open System
open System.IO
open System.IO.Compression

let folder = fsi.CommandLineArgs.[1]
ZipFile.CreateFromDirectory(folder, fsi.CommandLineArgs.[2])

let output = Console.OpenStandardOutput()
let archive = new ZipArchive(output, ZipArchiveMode.Create)
for path in Directory.EnumerateFileSystemEntries(folder, "*", SearchOption.AllDirectories) |> Seq.sort do
    let name = Path.GetRelativePath(folder, path).Replace(Path.DirectorySeparatorChar, '/')
    if Directory.Exists path then
        archive.CreateEntry(name + "/") |> ignore
    else
        archive.CreateEntryFromFile(path, name, CompressionLevel.SmallestSize) |> ignore
archive.Dispose()
output.Dispose()
