import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.math.BigDecimal;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.LocalDateTime;
import java.util.Arrays;
import kelvor.jdbc.ArrayValue;
import kelvor.jdbc.Connection;
import kelvor.jdbc.MemoryServices;
import kelvor.jdbc.kelcore.KelvorType;
import kelvor.jdbc.kelcore.KelvorTypeADT;
import kelvor.jdbc.kelcore.KelvorTypeCOLLECTION;

/**
 * The Java side of the comparison benchmark: the same rows as bench/CompareBench.cpp (an
 * object of 10 scalars, a collection of 1,000,000 small integers written from and read into an
 * int[]), through JNI, and the conversion of the object's attributes as Java objects into its
 * value (flat_to_sql_value), which a Java driver makes before it writes, and the write and read of
 * the example person (an object holding an object that holds a collection). Each row: a warm-up,
 * then `runs` timed runs of a fixed count of operations; the median of the runs' times per
 * operation is printed.
 *
 * Usage: java -Dkelcore.jni.library=... -cp kelcore.jar:kelcore-bench.jar KelcoreBench [runs]
 */
public final class KelcoreBench {
  private KelcoreBench() {}

  private static byte[] header(int size, int slots) {
    return new byte[] {0, 0, (byte) (size >> 8), (byte) size, 38, 1, 0, 0, 0, (byte) slots, 0, 41, 0, 0, 0, 0, 0, 0};
  }

  /** FLAT10: N0..N3 NUMBER(9), AMOUNT NUMBER(12,2), S0..S2 VARCHAR(40), D0, D1 DATE. */
  static byte[] flatTds() {
    ByteArrayOutputStream body = new ByteArrayOutputStream();
    for (int i = 0; i < 4; ++i) {
      body.writeBytes(new byte[] {3, 9, 0});
    }
    body.writeBytes(new byte[] {3, 12, 2});
    for (int i = 0; i < 3; ++i) {
      body.writeBytes(new byte[] {7, 0, 40, 1, 0, 106});
    }
    body.writeBytes(new byte[] {2, 2, 40});
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    out.writeBytes(header(18 + body.size(), 10));
    out.writeBytes(body.toByteArray());
    return out.toByteArray();
  }

  /** NUMS: an unbounded collection of NUMBER. */
  static byte[] numsTds() {
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    out.writeBytes(header(32, 0));
    out.writeBytes(new byte[] {28, 0, 0, 0, 29, 0, 0, 0, 0, 1, 42, 3, 0, (byte) 129});
    return out.toByteArray();
  }

  interface Op {
    void run();
  }

  static volatile Object sink;

  private static final ThreadMXBean THREADS = ManagementFactory.getThreadMXBean();

  /**
   * Median nanoseconds per operation over `runs` runs of `count` operations: wall time
   * (System.nanoTime) and the thread's CPU time, which a loaded machine disturbs less.
   */
  static double[] measure(Op op, int count, int runs) {
    for (int i = 0; i < Math.max(count, 3); ++i) {
      op.run();  // warm-up: compiled code, sized heap
    }
    double[] wall = new double[runs];
    double[] cpu = new double[runs];
    for (int r = 0; r < runs; ++r) {
      long c0 = THREADS.getCurrentThreadCpuTime();
      long t0 = System.nanoTime();
      for (int i = 0; i < count; ++i) {
        op.run();
      }
      wall[r] = (System.nanoTime() - t0) / (double) count;
      cpu[r] = (THREADS.getCurrentThreadCpuTime() - c0) / (double) count;
    }
    Arrays.sort(wall);
    Arrays.sort(cpu);
    return new double[] {wall[runs / 2], cpu[runs / 2]};
  }

  static String time(double ns) {
    if (ns >= 1e6) {
      return String.format("%9.2f ms", ns / 1e6);
    } else if (ns >= 1e3) {
      return String.format("%9.2f us", ns / 1e3);
    }
    return String.format("%9.0f ns", ns);
  }

  static void row(String name, double[] ns) {
    System.out.printf("%-24s wall %s   cpu %s%n", name, time(ns[0]), time(ns[1]));
  }

  public static void main(String[] args) throws IOException {
    int runs = args.length > 0 ? Integer.parseInt(args[0]) : 5;
    MemoryServices services = new MemoryServices();
    services.addType("BENCH.FLAT10", flatTds(), null, null);
    services.addType("BENCH.NUMS", numsTds(), null, null);
    try (Connection conn = new Connection(services)) {
      KelvorTypeADT flat = KelvorTypeADT.forName("BENCH.FLAT10", conn);
      Object[] javaAttributes = {7, -42, 1000, 96, new BigDecimal("12345.67"),
          "alpha", "a short string", "kelvor", LocalDateTime.of(2026, 3, 5, 14, 7, 9),
          LocalDateTime.of(1999, 12, 31, 23, 59, 58)};
      Object flatValue = flat.toSqlValue(javaAttributes);
      byte[] flatImage = flat.toImage(flatValue);

      // The example person (examples/person.tds): an object holding an object that holds a
      // collection; left out when the examples are not at hand.
      Path tds = Path.of(System.getProperty("kelcore.examples", "examples"), "person.tds");
      KelvorTypeADT person = null;
      Object personValue = null;
      byte[] personImage = null;
      if (Files.exists(tds)) {
        services.addType("KELCORE.PERSON", Files.readAllBytes(tds), null, null);
        person = KelvorTypeADT.forName("KELCORE.PERSON", conn);
        personValue = person.toSqlValue(new Object[] {"Mara Quell", LocalDateTime.of(1987, 4, 12, 0, 0),
            new BigDecimal("1.68"), new Object[] {"14 Linden Row", "Osterby", "OS1 4LR",
                new Object[] {"Flat 3", "Linden Court", "Ring the second bell"}}});
        personImage = person.toImage(personValue);
      }

      KelvorTypeCOLLECTION nums = KelvorTypeCOLLECTION.forName("BENCH.NUMS", conn);
      int[] ints = new int[1_000_000];
      for (int i = 0; i < ints.length; ++i) {
        ints[i] = (i % 1000) - 500;
      }
      byte[] numsImage = nums.toImage(new ArrayValue(nums, ints));

      row("jni_call (getTypeCode)", measure(() -> sink = flat.getTypeCode(), 1_000_000, runs));
      row("flat_to_sql_value", measure(() -> sink = flat.toSqlValue(javaAttributes), 100_000, runs));
      row("flat_write", measure(() -> sink = flat.toImage(flatValue), 100_000, runs));
      row("flat_read_sql", measure(() -> sink = flat.fromImage(flatImage, 0, KelvorType.STYLE_SQL_VALUE), 100_000, runs));
      row("flat_read_platform",
          measure(() -> sink = flat.fromImage(flatImage, 0, KelvorType.STYLE_PLATFORM_OBJECT), 100_000, runs));
      if (person != null) {
        KelvorTypeADT p = person;
        Object pv = personValue;
        byte[] pi = personImage;
        row("person_write", measure(() -> sink = p.toImage(pv), 100_000, runs));
        row("person_read_sql", measure(() -> sink = p.fromImage(pi, 0, KelvorType.STYLE_SQL_VALUE), 100_000, runs));
      }
      row("nums_write_int", measure(() -> sink = nums.toImage(new ArrayValue(nums, ints)), 10, runs));
      row("nums_read_int", measure(() -> sink = nums.readInts(numsImage, 0, 1, -1), 10, runs));
      row("nums_read_sql", measure(() -> sink = nums.fromImage(numsImage, 0, KelvorType.STYLE_SQL_VALUE), 3, runs));
      // The same, then every element taken: the elements' objects are made on first access.
      row("nums_read_sql_touch", measure(() -> sink =
          ((ArrayValue) nums.fromImage(numsImage, 0, KelvorType.STYLE_SQL_VALUE)).getElements(), 3, runs));
      System.out.printf("flat image %d bytes, nums image %d bytes%n", flatImage.length, numsImage.length);
    }
  }
}
