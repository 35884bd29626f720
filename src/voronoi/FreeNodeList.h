// Node pool of the sweep: hands out nodes block by block and releases them all
// at once with the pool. A deque that only grows or shrinks at its back never
// moves a node, so every pointer handed out stays valid while the pool lives.
#ifndef BRELO_VORONOI_FREENODELIST_H
#define BRELO_VORONOI_FREENODELIST_H

#include <deque>

template <class T>
class CFreeNodeList {
  public:
    CFreeNodeList() { Initialize(1024); }
    virtual ~CFreeNodeList() = default;

    // Block size n; storage cut back or extended to n nodes (nodes already
    // stored keep their contents); nothing handed out yet.
    void Initialize(int n) {
        m_nInitialSize = n > 0 ? n : 1;
        m_dqtFreeNode.resize(static_cast<size_t>(m_nInitialSize));
        m_nIndex = 0;
    }

    // The next node; may carry stale contents after a re-initialisation.
    T* GetFreeNode() {
        if (static_cast<size_t>(m_nIndex) == m_dqtFreeNode.size())
            m_dqtFreeNode.resize(m_dqtFreeNode.size() + static_cast<size_t>(m_nInitialSize));
        return &m_dqtFreeNode[static_cast<size_t>(m_nIndex++)];
    }

    int GetStoredCount() const { return static_cast<int>(m_dqtFreeNode.size()); }
    int GetHandedOutCount() const { return m_nIndex; }

  protected:
    int m_nInitialSize = 0;
    std::deque<T> m_dqtFreeNode;
    int m_nIndex = 0;
};

#endif
