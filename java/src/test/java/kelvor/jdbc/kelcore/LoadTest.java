package kelvor.jdbc.kelcore;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.lang.ref.WeakReference;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import kelvor.jdbc.ArrayValue;
import kelvor.jdbc.Connection;
import kelvor.jdbc.MemoryServices;
import kelvor.jdbc.NumberValue;
import kelvor.jdbc.ObjectValue;
import org.junit.jupiter.api.Test;

/** Large collections, long loops and many threads. */
class LoadTest {
  private static long rssBytes() {
    try {
      String[] statm = Files.readString(Path.of("/proc/self/statm")).trim().split(" ");
      return Long.parseLong(statm[1]) * 4096;
    } catch (IOException e) {
      return -1;
    }
  }

  /** The heap in use after the collector ran and the cleaner released what it found. */
  private static long settledHeap() throws InterruptedException {
    Runtime rt = Runtime.getRuntime();
    for (int i = 0; i < 5; ++i) {
      System.gc();
      Thread.sleep(40);
    }
    return rt.totalMemory() - rt.freeMemory();
  }

  private static Connection numbersConnection() {
    MemoryServices services = new MemoryServices();
    services.addType("KELCORE.NUMS", Fixtures.unboundedNumbersTds(), null, null);
    return new Connection(services);
  }

  @Test
  void aMillionElementsReadAndWrittenWithoutLeakingLocalReferences() {
    int[] values = new int[1_000_000];
    for (int i = 0; i < values.length; ++i) {
      values[i] = i * 7 - 3_000_000;
    }
    try (Connection conn = numbersConnection()) {
      KelvorTypeCOLLECTION nums = KelvorTypeCOLLECTION.forName("KELCORE.NUMS", conn);
      byte[] image = nums.toImage(new ArrayValue(nums, values));
      assertArrayEquals(values, nums.readInts(image, 0, 1, -1));
      // A million value objects cross one by one (-Xcheck:jni fails the run on a leak).
      Object[] read = (Object[]) ((ArrayValue) nums.fromImage(image, 0, KelvorType.STYLE_SQL_VALUE)).getElements();
      assertEquals(values.length, read.length);
      assertEquals(values[999_999], ((NumberValue) read[999_999]).intValue());
      Object[] platform = (Object[]) ((ArrayValue) nums.fromImage(image, 0, KelvorType.STYLE_PLATFORM_OBJECT)).getElements();
      assertEquals(java.math.BigDecimal.valueOf(values[123_456]), platform[123_456]);
      // Written back from the value objects (packed) and from the decimals (one by one, a
      // frame of local references each): the same image.
      assertArrayEquals(image, nums.toImage(new ArrayValue(nums, read)));
      assertArrayEquals(image, nums.toImage(new ArrayValue(nums, platform)));
    }
  }

  @Test
  void aHundredThousandRoundTripsHoldHeapAndNativeMemoryFlat() throws InterruptedException {
    byte[] image = Tool.encode("person");
    try (Connection conn = Fixtures.connectionServing("person")) {
      KelvorTypeADT person = KelvorTypeADT.forName("KELCORE.PERSON", conn);
      Runnable trips = () -> {
        for (int i = 0; i < 20_000; ++i) {
          Object v = person.fromImage(image, 0, KelvorType.STYLE_SQL_VALUE);
          if (person.toImage(v).length != image.length) {
            throw new AssertionError("round trip " + i);
          }
        }
      };
      trips.run();  // warm up: code compiled, heap sized
      long heap0 = settledHeap();
      long peers0 = NativePeer.livePeers();
      long rss0 = rssBytes();
      for (int k = 0; k < 5; ++k) {
        trips.run();
      }
      long heap1 = settledHeap();
      long peers1 = NativePeer.livePeers();
      long rss1 = rssBytes();
      System.out.printf("100000 round trips: heap %d -> %d KiB, live peers %d -> %d, RSS %d -> %d KiB%n",
          heap0 >> 10, heap1 >> 10, peers0, peers1, rss0 >> 10, rss1 >> 10);
      assertTrue(peers1 <= peers0 + 8, "peers are released");
      assertTrue(heap1 - heap0 < 8 << 20, "heap flat");
      assertTrue(rss1 - rss0 < 32 << 20, "native memory flat");
    }
  }

  // A nested object's descriptor, as a value read through a connection nobody else keeps.
  private static KelvorTypeADT nestedTypeOfAForgottenConnection(List<WeakReference<Connection>> out) {
    Connection conn = Fixtures.connectionServing("person");
    out.add(new WeakReference<>(conn));
    ObjectValue v = (ObjectValue) KelvorTypeADT.forName("KELCORE.PERSON", conn)
        .fromImage(Tool.encode("person"), 0, KelvorType.STYLE_SQL_VALUE);
    return ((ObjectValue) v.getAttribute(3)).getType();
  }

  @Test
  void aDescriptorJavaHoldsKeepsItsConnection() throws InterruptedException {
    List<WeakReference<Connection>> conn = new ArrayList<>();
    KelvorTypeADT address = nestedTypeOfAForgottenConnection(conn);
    settledHeap();
    assertTrue(conn.get(0).get() != null, "the connection its tree calls is kept");
    assertEquals(4, address.getNumAttributes());
  }

  @Test
  void threadsShareOneDescriptor() throws Exception {
    byte[] person = Tool.encode("person");
    try (Connection conn = Fixtures.connectionServing("person", "numbers")) {
      KelvorTypeADT type = KelvorTypeADT.forName("KELCORE.PERSON", conn);
      KelvorTypeCOLLECTION numbers = KelvorTypeCOLLECTION.forName("KELCORE.NUMBERS", conn);
      ExecutorService pool = Executors.newFixedThreadPool(8);
      try {
        List<Future<?>> done = new ArrayList<>();
        for (int t = 0; t < 8; ++t) {
          int seed = t;
          done.add(pool.submit(() -> {
            for (int i = 0; i < 500; ++i) {
              assertArrayEquals(person, type.toImage(type.fromImage(person, 0, 1 + (i & 1))));
              int[] mine = {seed, i, -seed * i};
              assertArrayEquals(mine, numbers.readInts(numbers.toImage(new ArrayValue(numbers, mine)), 0, 1, -1));
            }
            return null;
          }));
        }
        for (Future<?> f : done) {
          f.get();
        }
      } finally {
        pool.shutdown();
      }
    }
  }
}
