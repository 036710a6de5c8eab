package kelvor.jdbc.kelcore;

/**
 * Loads libkelcore_jni.so once: from the path in the system property {@code kelcore.jni.library}
 * when it is set, otherwise by name from {@code java.library.path}.
 */
public final class NativeLibrary {
  private static volatile boolean loaded;

  private NativeLibrary() {}

  /** Loads the library on first use; later calls return at once. */
  public static void load() {
    if (loaded) {
      return;
    }
    synchronized (NativeLibrary.class) {
      if (!loaded) {
        String path = System.getProperty("kelcore.jni.library");
        if (path != null && !path.isEmpty()) {
          System.load(java.nio.file.Path.of(path).toAbsolutePath().toString());
        } else {
          System.loadLibrary("kelcore_jni");
        }
        loaded = true;
      }
    }
  }
}
