// Times jlha's lh5 compressor inside one warmed JVM: each input is compressed a number of times
// first so that the JIT has compiled the encoder, then timed repeatedly.
// Usage: JlhaCompressBench warmups repetitions file...
// Output, one line per file: name, compressed bytes, then the seconds of every timed run.
import java.io.ByteArrayOutputStream;
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.Paths;

import jp.gr.java_conf.dangan.util.lha.CompressMethod;
import jp.gr.java_conf.dangan.util.lha.LhaProperty;

public class JlhaCompressBench {
    public static void main(String[] args) throws Exception {
        final int warmups = Integer.parseInt(args[0]);
        final int reps = Integer.parseInt(args[1]);
        for (int f = 2; f < args.length; f++) {
            final byte[] input = Files.readAllBytes(Paths.get(args[f]));
            int size = 0;
            for (int w = 0; w < warmups; w++)
                size = compress(input);
            final long[] times = new long[reps];
            for (int r = 0; r < reps; r++) {
                final long t0 = System.nanoTime();
                size = compress(input);
                times[r] = System.nanoTime() - t0;
            }
            final StringBuilder line = new StringBuilder(Paths.get(args[f]).getFileName() + " " + size);
            for (long t : times)
                line.append(String.format(" %.6f", t / 1e9));
            System.out.println(line);
        }
    }

    // The stream jlha writes for a member's data: the lh5 bit stream, no archive header.
    static int compress(byte[] input) throws Exception {
        final ByteArrayOutputStream out = new ByteArrayOutputStream(input.length / 2 + 64);
        final OutputStream enc = CompressMethod.connectEncoder(out, CompressMethod.LH5, LhaProperty.getProperties());
        enc.write(input);
        enc.close();
        return out.size();
    }
}
