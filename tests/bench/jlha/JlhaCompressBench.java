// jlha's lh5 compressor inside one warmed JVM, as a helper process of LHARoutines_bench: each input is
// compressed a number of times first so that the JIT has compiled the encoder; then the JVM answers
// "ready" and each request line (an input's name) with the seconds one compression took by the clock
// and in the JVM's CPU time (all its threads: collector and compiler included), and the compressed
// size, so that its runs interleave with ours.
// Usage: JlhaCompressBench warmups name=file...
import java.io.BufferedReader;
import java.io.ByteArrayOutputStream;
import java.io.InputStreamReader;
import java.io.OutputStream;
import java.lang.management.ManagementFactory;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.HashMap;
import java.util.Map;

import jp.gr.java_conf.dangan.util.lha.CompressMethod;
import jp.gr.java_conf.dangan.util.lha.LhaProperty;

public class JlhaCompressBench {
    public static void main(String[] args) throws Exception {
        final int warmups = Integer.parseInt(args[0]);
        final Map<String, byte[]> inputs = new HashMap<>();
        for (int f = 1; f < args.length; f++) {
            final int eq = args[f].indexOf('=');
            final byte[] input = Files.readAllBytes(Paths.get(args[f].substring(eq + 1)));
            for (int w = 0; w < warmups; w++)
                compress(input);
            inputs.put(args[f].substring(0, eq), input);
        }
        final com.sun.management.OperatingSystemMXBean os =
            (com.sun.management.OperatingSystemMXBean) ManagementFactory.getOperatingSystemMXBean();
        System.out.println("ready");
        System.out.flush();
        final BufferedReader in = new BufferedReader(new InputStreamReader(System.in));
        for (String line; (line = in.readLine()) != null;) {
            final byte[] input = inputs.get(line.trim());
            final long c0 = os.getProcessCpuTime(), t0 = System.nanoTime();
            final int size = compress(input);
            final long t1 = System.nanoTime(), c1 = os.getProcessCpuTime();
            System.out.println(String.format("%.9f %.9f %d", (t1 - t0) / 1e9, (c1 - c0) / 1e9, size));
            System.out.flush();
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
